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
#include "fuzz/sessionscript.h"
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

using fuzzsupport::dropSingleShotTimers;
using fuzzsupport::Script;
using fuzzsupport::ScriptedSocket;

namespace {

QTemporaryDir *home = nullptr;
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
