// libFuzzer target: the sending side of a transfer session after a completed key exchange,
// that is its handling of what the receiver answers. The input is a script of records, each
// starting with one operation byte:
//   0: a message (2-byte little-endian length, then the plaintext), sent as a proper frame;
//   1: raw bytes (1-byte length), put on the stream as they are;
//   2: deliver (1-byte count + 1) that many pending bytes to the session in one read;
//   3: the socket reports (1-byte count % 8 + 1) times that what was written has left.
// Whatever is still pending at the end is delivered at once. The session offers two small
// files made at start.
#include "core/settings.h"
#include "fuzz/sessionscript.h"
#include "transfer/crypto.h"
#include "transfer/sendercontext.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using fuzzsupport::dropSingleShotTimers;
using fuzzsupport::Script;
using fuzzsupport::ScriptedSocket;

namespace {

QTemporaryDir *home = nullptr;
QList<QSharedPointer<QFile>> offered;
QList<QPair<QString, QString>> names;
Crypto *peer = nullptr;

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
    Settings::setDeviceName(QStringLiteral("fuzz"));
    const QList<QPair<QString, int>> files { { QStringLiteral("a.txt"), 3000 }, { QStringLiteral("empty"), 0 } };
    for (const auto &file : files) {
        QFile out(home->path() + QLatin1Char('/') + file.first);
        out.open(QIODevice::WriteOnly);
        out.write(QByteArray(file.second, 'x'));
        offered.append(QSharedPointer<QFile>::create(out.fileName()));
        names.append({ file.first, QString() });
    }
    peer = new Crypto;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *socket = new ScriptedSocket;
    auto *session = new SenderContext(socket, offered, names, nullptr);
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
            for (int i = script.byte() % 8; i >= 0; --i)
                emit socket->bytesWritten(1);
            break;
        }
    }
    socket->deliver(pending);
    delete session;
    dropSingleShotTimers();
    return 0;
}
