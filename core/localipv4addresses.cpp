#include "localipv4addresses.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>

namespace {

// Names the usual container, virtual-machine and VPN software give its interfaces.
const char *const virtualInterfacePrefixes[]
    = { "docker", "veth", "virbr", "br-", "tun", "tap", "wg", "tailscale", "zt", "vnet", "lxc", "cni", "flannel" };

} // namespace

QStringList localIPv4Addresses()
{
    QStringList texts;
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::LocalHost))
            continue;
        texts.append(address.toString());
    }
    return texts;
}

bool isVirtualInterfaceName(const QString &name)
{
    return std::any_of(std::begin(virtualInterfacePrefixes), std::end(virtualInterfacePrefixes),
        [&name](const char *prefix) { return name.startsWith(QLatin1String(prefix)); });
}

QString defaultRouteInterface(const QByteArray &routeTable)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the lowest metric wins.
    QString best;
    qint64 bestMetric = -1;
    const QList<QByteArray> lines = routeTable.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 8 || fields.at(1) != "00000000" || fields.at(7) != "00000000")
            continue;
        bool ok = false;
        const qint64 metric = fields.at(6).toLongLong(&ok);
        if (ok && (bestMetric < 0 || metric < bestMetric)) {
            bestMetric = metric;
            best = QString::fromLocal8Bit(fields.at(0));
        }
    }
    return best;
}

QVector<LocalAddress> rankAddresses(QVector<LocalAddress> addresses, const QString &routeInterface)
{
    static const QHostAddress linkLocalNetwork(QStringLiteral("169.254.0.0"));
    for (LocalAddress &entry : addresses) {
        if (QHostAddress(entry.address).isInSubnet(linkLocalNetwork, 16))
            entry.kind = LocalAddress::Kind::LinkLocal;
        else if (entry.pointToPoint || isVirtualInterfaceName(entry.interfaceName))
            entry.kind = LocalAddress::Kind::Virtual;
        else if (!routeInterface.isEmpty() && entry.interfaceName == routeInterface)
            entry.kind = LocalAddress::Kind::DefaultRoute;
        else
            entry.kind = LocalAddress::Kind::Physical;
    }
    std::stable_sort(addresses.begin(), addresses.end(),
        [](const LocalAddress &a, const LocalAddress &b) { return a.kind < b.kind; });
    return addresses;
}

QVector<LocalAddress> rankedLocalAddresses()
{
    QVector<LocalAddress> addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = networkInterface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.ip().isLoopback())
                continue;
            LocalAddress local;
            local.address = entry.ip().toString();
            local.interfaceName = networkInterface.name();
            local.prefixLength = entry.prefixLength();
            local.broadcast = entry.broadcast().isNull() ? QString() : entry.broadcast().toString();
            local.pointToPoint = flags.testFlag(QNetworkInterface::IsPointToPoint);
            addresses.append(local);
        }
    }
    QFile routes(QStringLiteral("/proc/net/route"));
    const QByteArray table = routes.open(QIODevice::ReadOnly) ? routes.readAll() : QByteArray();
    return rankAddresses(addresses, defaultRouteInterface(table));
}

QStringList rankedIPv4Addresses()
{
    QStringList texts;
    for (const LocalAddress &entry : rankedLocalAddresses())
        texts.append(entry.address);
    return texts;
}

LocalAddress betterAddressThan(const QString &address)
{
    const QVector<LocalAddress> ranked = rankedLocalAddresses();
    const auto current = std::find_if(
        ranked.cbegin(), ranked.cend(), [&address](const LocalAddress &entry) { return entry.address == address; });
    if (current == ranked.cend() || current->kind < LocalAddress::Kind::Virtual || ranked.first().kind >= current->kind)
        return LocalAddress();
    return ranked.first();
}
