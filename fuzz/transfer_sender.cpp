// libFuzzer target: the sending side of a transfer session after a completed key exchange,
// that is its handling of what the receiver answers. The input is a script as fuzzsupport::play
// reads it; its own operation reports (byte % 8 + 1) times that what was written has left. The
// session offers two small files made at start.
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
    Settings::setDeviceName(QStringLiteral("fuzz"));
    const QList<QPair<QString, int>> files { { QStringLiteral("a.txt"), 3000 }, { QStringLiteral("empty"), 0 } };
    for (const auto &file : files) {
        QFile out(home->path() + QLatin1Char('/') + file.first);
        out.open(QIODevice::WriteOnly);
        out.write(QByteArray(file.second, 'x'));
        offered.append(QSharedPointer<QFile>::create(out.fileName()));
        names.append({ file.first, QString() });
    }
    peer = new fuzzsupport::ScriptedPeer(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *socket = new ScriptedSocket;
    auto *session = new SenderContext(socket, offered, names, nullptr);
    socket->settle = [session] { session->settle(); };
    session->startHandshake();
    peer->start(socket->written);

    Script script { data, size };
    fuzzsupport::play(script, *socket, *peer, peer->crypto.publicKey, [socket](uint8_t byte) {
        for (int i = byte % 8; i >= 0; --i)
            emit socket->bytesWritten(1);
    });
    delete session;
    dropSingleShotTimers();
    return 0;
}
