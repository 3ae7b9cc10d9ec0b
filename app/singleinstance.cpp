#include "singleinstance.h"

#include "core/jsontext.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTimer>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t privateFolderMode = 0700;

// Checked without following a link: the folder itself must be the user's alone.
bool isPrivateFolder(const QString &folder)
{
    struct stat status = {};
    return QDir::isAbsolutePath(folder) && ::lstat(QFile::encodeName(folder).constData(), &status) == 0
        && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0777) == privateFolderMode;
}

QString userName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QFile::decodeName(entry->pw_name) : QString::number(::geteuid());
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
{
    const QString folder = privateRuntimeFolder();
    if (!folder.isEmpty())
        path = folder + QLatin1Char('/') + name;
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::readHandOver);
}

QString SingleInstance::privateRuntimeFolder()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/runtime-") + userName();
        // Fails when it is there already; whoever made it, the check below decides.
        ::mkdir(QFile::encodeName(folder).constData(), privateFolderMode);
    }
    return isPrivateFolder(folder) ? folder : QString();
}

bool SingleInstance::handOver(const QStringList &files)
{
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    QJsonObject message;
    message.insert(QStringLiteral("files"), QJsonArray::fromStringList(files));
    socket.write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return false;
    }
    return socket.readLine().trimmed() == "ok";
}

bool SingleInstance::listen()
{
    if (path.isEmpty())
        return false;
    // Only the user may talk to the instance: the files it is given get sent to other devices.
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (server.listen(path))
        return true;
    // Someone would have answered handOver(); what is there is a leftover.
    QLocalServer::removeServer(path);
    return server.listen(path);
}

void SingleInstance::readHandOver()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client holds at most one message's worth of memory, and only for a moment.
        socket->setReadBufferSize(maxMessageBytes);
        const auto drop = [socket] {
            socket->abort();
            socket->deleteLater();
        };
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, drop);
        deadline->start(answerTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, deadline, drop] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() >= maxMessageBytes)
                    drop();
                return;
            }
            deadline->stop();
            const QJsonObject message = parseJson(socket->readLine()).object();
            QStringList files;
            const QJsonArray list = message.value(QStringLiteral("files")).toArray();
            for (const QJsonValue &file : list)
                files.append(file.toString());
            socket->write("ok\n");
            socket->disconnectFromServer();
            emit filesHandedOver(files);
        });
    }
}
