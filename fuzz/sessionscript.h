#pragma once

// What the transfer session targets share: a socket that a script feeds, the script's reader,
// and the clean-up of timers between inputs.

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QTcpSocket>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzzsupport {

// A connected socket without a network: what the session writes is kept, what it reads is
// whatever the script has delivered.
class ScriptedSocket : public QTcpSocket
{
public:
    ScriptedSocket() { QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered); }

    void deliver(const QByteArray &bytes)
    {
        incoming.append(bytes);
        emit readyRead();
    }

    qint64 bytesAvailable() const override { return QIODevice::bytesAvailable() + incoming.size() - readPosition; }
    qint64 bytesToWrite() const override { return 0; }

    QByteArray written;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = qMin<qint64>(maxSize, incoming.size() - readPosition);
        memcpy(data, incoming.constData() + readPosition, static_cast<size_t>(count));
        readPosition += static_cast<int>(count);
        return count;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        written.append(data, static_cast<int>(size));
        return size;
    }

private:
    QByteArray incoming;
    int readPosition = 0;
};

struct Script
{
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    bool atEnd() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    QByteArray bytes(size_t count)
    {
        count = std::min(count, size - at);
        const QByteArray taken(reinterpret_cast<const char *>(data + at), static_cast<int>(count));
        at += count;
        return taken;
    }
};

// The single-shot timers of ended sessions wait in the event dispatcher for a loop that never
// runs here; dropped after every input, they do not pile up.
inline void dropSingleShotTimers()
{
    const QObjectList waiting = QAbstractEventDispatcher::instance()->children();
    for (QObject *timer : waiting) {
        if (qstrcmp(timer->metaObject()->className(), "QSingleShotTimer") == 0)
            delete timer;
    }
}

} // namespace fuzzsupport
