// libFuzzer target: the receiving side of a transfer session after a completed key exchange.
// The input is a script as fuzzsupport::play reads it; its own operation is the user's decision
// (bit 0: accept), as the window would give it. Accepted files go to a temporary download folder
// that is emptied after every input.
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
fuzzsupport::ScriptedPeer *peer = nullptr;

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
    peer = new fuzzsupport::ScriptedPeer(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *socket = new ScriptedSocket;
    auto *session = new ReceiverContext(socket, nullptr);
    socket->settle = [session] { session->settle(); };
    QObject::connect(session, &Context::metaDataReady, session,
        [](QVector<FileMetadata> files, qulonglong, QString deviceName, QString) {
            // What the window would show.
            peerText(deviceName);
            for (const FileMetadata &file : qAsConst(files))
                elideMiddle(peerText(file.filename), 64);
        });
    session->startHandshake();
    peer->start(socket->written);

    Script script { data, size };
    fuzzsupport::play(
        script, *socket, *peer, peer->crypto.publicKey, [session](uint8_t byte) { session->response((byte & 1) != 0); });
    delete session;
    dropSingleShotTimers();
    QDir(Settings::downloadPath()).removeRecursively();
    return 0;
}
