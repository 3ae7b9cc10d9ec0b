#include "loopbackpair.h"

#include <QHostAddress>

namespace testsupport {

LoopbackPair connectLoopbackPair()
{
    QTcpServer listener;
    if (!listener.listen(QHostAddress::LocalHost, 0))
        return {};
    auto *client = new QTcpSocket;
    client->connectToHost(QHostAddress::LocalHost, listener.serverPort());
    if (!listener.waitForNewConnection(5000) || !client->waitForConnected(5000)) {
        delete client;
        return {};
    }
    QTcpSocket *server = listener.nextPendingConnection();
    server->setParent(nullptr);
    return { client, server };
}

} // namespace testsupport
