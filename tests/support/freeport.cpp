#include "freeport.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>

namespace testsupport {

quint16 freeUdpPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::AnyIPv4, 0))
        return 0;
    return probe.localPort();
}

quint16 freeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0))
        return 0;
    return probe.serverPort();
}

} // namespace testsupport
