#include "singleinstance.h"

#include "core/jsontext.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

// The running instance is on the same machine and answers at once; a socket that takes longer
// belongs to nobody.
constexpr int answerTimeoutMs = 3000;
// One launch's files: thousands of long paths fit easily.
constexpr qint64 maxMessageBytes = 16 * 1024 * 1024;

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    path = folder + QLatin1Char('/') + name;
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::readHandOver);
}

bool SingleInstance::handOver(const QStringList &files)
{
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > maxMessageBytes) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine())
                return;
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
