#pragma once

// What the transfer session targets share: a socket that a script feeds, the script's reader
// and player, and the clean-up of timers between inputs.

#include "transfer/context.h"
#include "transfer/crypto.h"
#include "transfer/sealedstream.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QTcpSocket>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

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
        // No event loop runs: what the cipher's threads took is completed before the next step.
        if (settle)
            settle();
    }

    std::function<void()> settle;

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

// The script's end of a session: the peer's key pair and, once the script switches, the sealed
// stream it derives as the session does, from the frames both exchanged before.
class ScriptedPeer
{
public:
    explicit ScriptedPeer(bool asSender)
        : sender(asSender)
    {
    }

    // A new session, whose key is the first bytes it wrote.
    void start(const QByteArray &written)
    {
        sessionKey = written.left(Crypto::keyBytes);
        crypto.computeSessionKey(sessionKey);
        sealed.reset();
        lengthBytes = 2;
        readAt = Crypto::keyBytes;
    }

    // One frame as the peer puts it on the stream.
    QByteArray frame(const QByteArray &plaintext)
    {
        QByteArray message;
        if (sealed.isOpen()) {
            message.resize(plaintext.size() + SealedStream::tagBytes);
            sealed.sealInto(plaintext.constData(), plaintext.size(), message.data());
        } else {
            sealed.recordOutgoing(plaintext);
            message = crypto.encrypt(plaintext);
        }
        QByteArray out;
        for (int i = lengthBytes - 1; i >= 0; --i)
            out.append(static_cast<char>((message.size() >> (8 * i)) & 0xFF));
        return out + message;
    }

    // Takes the session's frames written so far into the transcript and switches; wide: with
    // the 32-bit lengths of "wide-frames".
    void seal(const QByteArray &written, bool wide)
    {
        lengthBytes = wide ? 4 : 2;
        while (!sealed.isOpen() && readAt + 2 <= written.size()) {
            const int length = (static_cast<uchar>(written.at(readAt)) << 8) | static_cast<uchar>(written.at(readAt + 1));
            if (readAt + 2 + length > written.size())
                break;
            try {
                sealed.recordIncoming(crypto.decrypt(written.mid(readAt + 2, length)));
            } catch (const std::exception &) {
            }
            readAt += 2 + length;
        }
        if (!sealed.isOpen())
            sealed.open(crypto, sessionKey, sender);
    }

    Crypto crypto;

private:
    SealedStream sealed;
    QByteArray sessionKey;
    int readAt = 0;
    int lengthBytes = 2;
    bool sender;
};

// Plays a script of records, each starting with one operation byte:
//   0: a message (2-byte little-endian length, then the plaintext), sent as a proper frame;
//   1: raw bytes (1-byte length), put on the stream as they are;
//   2: deliver (1-byte count + 1) that many pending bytes to the session in one read;
//   3: with the next byte's top bit set, the peer switches to the sealed stream (with 32-bit
//      lengths when the bit below it is set too); otherwise the target's own operation, given
//      that byte.
// Whatever is still pending at the end is delivered at once.
template <typename Operation>
void play(Script &script, ScriptedSocket &socket, ScriptedPeer &peer, QByteArray pending, Operation own)
{
    while (!script.atEnd()) {
        switch (script.byte() % 4) {
        case 0: {
            const size_t length = script.byte() | (static_cast<size_t>(script.byte()) << 8);
            const QByteArray plaintext = script.bytes(length);
            if (plaintext.size() <= Context::maxPlaintextPerFrame)
                pending += peer.frame(plaintext);
            break;
        }
        case 1:
            pending += script.bytes(script.byte());
            break;
        case 2: {
            const int count = script.byte() + 1;
            socket.deliver(pending.left(count));
            pending.remove(0, count);
            break;
        }
        default: {
            const uint8_t operation = script.byte();
            if ((operation & 0x80) != 0)
                peer.seal(socket.written, (operation & 0x40) != 0);
            else
                own(operation);
            break;
        }
        }
    }
    socket.deliver(pending);
}

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
