#include "discoveryservice.h"

#include "core/settings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QSysInfo>

#include <cmath>

namespace {

// A "port" that is not a whole number reads as 0 (the peer is then treated as leaving); a
// whole number keeps its low 16 bits.
quint16 portFromJson(double value)
{
    constexpr double int64Range = 9223372036854775808.0;
    if (!std::isfinite(value) || std::trunc(value) != value || std::fabs(value) >= int64Range)
        return 0;
    return static_cast<quint16>(static_cast<qint64>(value) & 0xffff);
}

} // namespace

DiscoveryService::DiscoveryService(QObject *parent)
    : QObject(parent)
    , discoveryPort(Settings::discoveryPort())
{
    connect(&socket, &QUdpSocket::readyRead, this, &DiscoveryService::handleDatagrams);
}

void DiscoveryService::start(quint16 port)
{
    serverPort = port;
    discoveryPort = Settings::discoveryPort();
    if (!socket.bind(QHostAddress::Any, discoveryPort))
        emit error(tr("无法监听端口 %1.\n你的设备无法被发现").arg(discoveryPort));
    const QList<QHostAddress> destinations = broadcastAddresses();
    for (const QHostAddress &destination : destinations) {
        if (!destination.isNull())
            sendHostInfo(destination, discoveryPort);
    }
}

void DiscoveryService::sendHostInfo(const QHostAddress &addr, quint16 port)
{
    // Visibility is read at sending time: an invisible device answers with port 0, which
    // every receiver treats as leaving.
    socket.writeDatagram(deviceDatagram(Settings::discoverable() ? serverPort : 0), addr, port);
}

QList<QHostAddress> DiscoveryService::broadcastAddresses() const
{
    // Computed for every send so that interfaces that came up later are used too.
    QList<QHostAddress> destinations { QHostAddress(QHostAddress::Broadcast) };
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        if (!networkInterface.flags().testFlag(QNetworkInterface::CanBroadcast))
            continue;
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            destinations.append(entry.broadcast());
    }
    return destinations;
}

bool DiscoveryService::isLocalAddress(const QHostAddress &address) const
{
    // A broadcast sent while no address fits the route (a machine without a network address, a
    // private namespace with only loopback) comes back with the unspecified source address. No
    // peer can be reached there, and it is our own datagram.
    if (address.isEqual(QHostAddress(QHostAddress::AnyIPv4), QHostAddress::TolerantConversion)
        || address.isEqual(QHostAddress(QHostAddress::AnyIPv6), QHostAddress::TolerantConversion))
        return true;
    const QList<QHostAddress> localAddresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &local : localAddresses) {
        if (local.isEqual(address, QHostAddress::TolerantConversion))
            return true;
    }
    return false;
}

void DiscoveryService::broadcastReq()
{
    QJsonObject request;
    request.insert(QStringLiteral("request"), true);
    broadcast(QJsonDocument(request).toJson(QJsonDocument::Compact));
}

void DiscoveryService::leave()
{
    broadcast(deviceDatagram(0));
}

void DiscoveryService::handleDatagrams()
{
    while (socket.hasPendingDatagrams()) {
        const qint64 size = socket.pendingDatagramSize();
        if (size < 0)
            return;
        QByteArray payload(static_cast<int>(size), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = socket.readDatagram(payload.data(), payload.size(), &sender, &senderPort);
        if (read < 0)
            return;
        payload.truncate(static_cast<int>(read));
        handleDatagram(payload, sender, senderPort);
    }
}

void DiscoveryService::handleDatagram(const QByteArray &payload, const QHostAddress &sender, quint16 senderPort)
{
    // Our own broadcasts come back to us; a device never answers or lists itself.
    if (isLocalAddress(sender))
        return;
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return;
    const QJsonObject message = document.object();
    const QJsonValue request = message.value(QStringLiteral("request"));
    if (!request.isBool())
        return;
    if (request.toBool()) {
        // Answer to the source port, so a peer whose bind failed still hears us.
        sendHostInfo(sender, senderPort);
        return;
    }
    const QJsonValue name = message.value(QStringLiteral("device_name"));
    const QJsonValue port = message.value(QStringLiteral("port"));
    if (!name.isString() || !port.isDouble())
        return;
    emit newHost(name.toString(), sender, portFromJson(port.toDouble()));
}

QByteArray DiscoveryService::deviceDatagram(quint16 announcedPort) const
{
    // QJsonObject keeps its keys sorted, which gives the key order of the protocol.
    QJsonObject info;
    info.insert(QStringLiteral("device_name"), Settings::deviceName());
    info.insert(QStringLiteral("device_type"), QSysInfo::productType());
    info.insert(QStringLiteral("port"), static_cast<int>(announcedPort));
    info.insert(QStringLiteral("request"), false);
    return QJsonDocument(info).toJson(QJsonDocument::Compact);
}

void DiscoveryService::broadcast(const QByteArray &datagram)
{
    // Send results are not checked. Entries without a broadcast address (IPv6) could only fail,
    // so they are skipped.
    const QList<QHostAddress> destinations = broadcastAddresses();
    for (const QHostAddress &destination : destinations) {
        if (!destination.isNull())
            socket.writeDatagram(datagram, destination, discoveryPort);
    }
}
