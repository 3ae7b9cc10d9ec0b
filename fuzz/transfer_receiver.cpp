// libFuzzer target: the receiving side of a transfer session after a completed key exchange.
// The input is a script of records, each starting with one operation byte:
//   0: a message (2-byte little-endian length, then the plaintext), sent as a proper frame;
//   1: raw bytes (1-byte length), put on the stream as they are;
//   2: deliver (1-byte count + 1) that many pending bytes to the session in one read;
//   3: the user's decision (bit 0: accept), as the window would give it.
// Whatever is still pending at the end is delivered at once. Accepted files go to a temporary
// download folder that is emptied after every input.
#include "core/peertext.h"
#include "core/settings.h"
#include "transfer/crypto.h"
#include "transfer/receivercontext.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

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

QTemporaryDir *home = nullptr;
Crypto *peer = nullptr;

// The single-shot timers of ended sessions wait in the event dispatcher for a loop that never
// runs here; dropped after every input, they do not pile up.
void dropSingleShotTimers()
{
    const QObjectList waiting = QAbstractEventDispatcher::instance()->children();
    for (QObject *timer : waiting) {
        if (qstrcmp(timer->metaObject()->className(), "QSingleShotTimer") == 0)
            delete timer;
    }
}

QByteArray frame(const QByteArray &plaintext)
{
    const QByteArray message = peer->encrypt(plaintext);
    QByteArray out;
    out.append(static_cast<char>((message.size() >> 8) & 0xFF));
    out.append(static_cast<char>(message.size() & 0xFF));
    return out + message;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    home = new QTemporaryDir;
    qputenv("HOME", home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home->path() + QStringLiteral("/.config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("OrvexFuzz"));
    Settings::setDownloadPath(home->path() + QStringLiteral("/downloads"));
    Settings::setDeviceName(QStringLiteral("fuzz"));
    peer = new Crypto;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *socket = new ScriptedSocket;
    auto *session = new ReceiverContext(socket, nullptr);
    QObject::connect(session, &Context::metaDataReady, session,
        [](QVector<FileMetadata> files, qulonglong, QString deviceName, QString) {
            // What the window would show.
            peerText(deviceName);
            for (const FileMetadata &file : qAsConst(files))
                elideMiddle(peerText(file.filename), 64);
        });
    session->startHandshake();
    peer->computeSessionKey(socket->written.left(Crypto::keyBytes));

    QByteArray pending = peer->publicKey;
    Script script { data, size };
    while (!script.atEnd()) {
        switch (script.byte() % 4) {
        case 0: {
            const size_t length = script.byte() | (static_cast<size_t>(script.byte()) << 8);
            const QByteArray plaintext = script.bytes(length);
            if (plaintext.size() <= Context::maxPlaintextPerFrame)
                pending += frame(plaintext);
            break;
        }
        case 1:
            pending += script.bytes(script.byte());
            break;
        case 2: {
            const int count = script.byte() + 1;
            socket->deliver(pending.left(count));
            pending.remove(0, count);
            break;
        }
        default:
            session->response((script.byte() & 1) != 0);
            break;
        }
    }
    socket->deliver(pending);
    delete session;
    dropSingleShotTimers();
    QDir(Settings::downloadPath()).removeRecursively();
    return 0;
}
