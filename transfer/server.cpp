#include "server.h"

#include "core/settings.h"
#include "transfer/receivercontext.h"

#include <QTcpSocket>

#include <stdexcept>

Server::Server(QObject *parent)
    : QObject(parent)
    , sessionTimeLimitMsec(Context::defaultTimeLimitMsec)
{
}

void Server::start()
{
    const quint16 port = Settings::serverPort();
    if (!server.listen(QHostAddress::Any, port))
        throw std::runtime_error(tr("无法监听 %1 端口").arg(port).toStdString());
    connect(&server, &QTcpServer::newConnection, this, &Server::handleNewConnection, Qt::UniqueConnection);
}

quint16 Server::serverPort() const
{
    return server.serverPort();
}

void Server::setSessionTimeLimit(int msec)
{
    sessionTimeLimitMsec = msec;
}

void Server::handleNewConnection()
{
    while (server.hasPendingConnections()) {
        QTcpSocket *socket = server.nextPendingConnection();
        auto *context = new ReceiverContext(socket, nullptr);
        context->setTimeLimit(sessionTimeLimitMsec);
        emit incomingSession(context);
    }
}
