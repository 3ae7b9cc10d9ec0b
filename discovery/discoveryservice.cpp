#include "discoveryservice.h"

#include "core/jsontext.h"
#include "core/knownaddress.h"
#include "core/paireddevices.h"
#include "core/portholder.h"
#include "core/settings.h"
#include "core/transferfeatures.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
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
    resumeReading.setSingleShot(true);
    connect(&resumeReading, &QTimer::timeout, this, &DiscoveryService::handleDatagrams);
    clock.start();
}

void DiscoveryService::start(quint16 port)
{
    serverPort = port;
    discoveryPort = Settings::discoveryPort();
    if (!socket.bind(QHostAddress::Any, discoveryPort)) {
        QString message = tr("无法监听端口 %1.\n你的设备无法被发现").arg(discoveryPort);
        const PortHolder holder = PortHolder::find(PortHolder::Protocol::Udp, discoveryPort);
        if (holder.pid != 0 && holder.program == QCoreApplication::applicationName().toLower()) {
            message += tr("\n端口被另一个 Orvex（进程 %1）占用：请先退出它（kill %1），"
                          "或在系统设置中为本程序换一个发现端口。")
                           .arg(holder.pid);
        } else if (holder.pid != 0) {
            message += tr("\n端口被 %1（进程 %2）占用。").arg(holder.program).arg(holder.pid);
        }
        emit error(message);
    }
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
    refreshInterfaces();
    return broadcastDestinations;
}

bool DiscoveryService::isLocalAddress(const QHostAddress &address) const
{
    // A broadcast sent while no address fits the route (a machine without a network address, a
    // private namespace with only loopback) comes back with the unspecified source address. No
    // peer can be reached there, and it is our own datagram.
    if (address.isEqual(QHostAddress(QHostAddress::AnyIPv4), QHostAddress::TolerantConversion)
        || address.isEqual(QHostAddress(QHostAddress::AnyIPv6), QHostAddress::TolerantConversion))
        return true;
    refreshInterfaces();
    for (const QHostAddress &local : qAsConst(localAddresses)) {
        if (local.isEqual(address, QHostAddress::TolerantConversion))
            return true;
    }
    return false;
}

void DiscoveryService::refreshInterfaces() const
{
    // Read again every few seconds, so that interfaces that came up later are used too.
    if (interfacesAge.isValid() && !interfacesAge.hasExpired(interfaceRefreshMs))
        return;
    interfacesAge.start();
    localAddresses.clear();
    localNetworks.clear();
    broadcastDestinations = { QHostAddress(QHostAddress::Broadcast) };
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const QList<QNetworkAddressEntry> entries = networkInterface.addressEntries();
        const QNetworkInterface::InterfaceFlags flags = networkInterface.flags();
        // Only interfaces that can reach another device: up, running and not loopback.
        const bool reachesOthers = flags.testFlag(QNetworkInterface::IsUp)
            && flags.testFlag(QNetworkInterface::IsRunning) && !flags.testFlag(QNetworkInterface::IsLoopBack)
            && flags.testFlag(QNetworkInterface::CanBroadcast);
        for (const QNetworkAddressEntry &entry : entries) {
            if (reachesOthers && !entry.broadcast().isNull() && !broadcastDestinations.contains(entry.broadcast()))
                broadcastDestinations.append(entry.broadcast());
            if (flags.testFlag(QNetworkInterface::IsUp)) {
                localAddresses.append(entry.ip());
                localNetworks.append({ entry.ip(), entry.prefixLength() });
            }
        }
    }
}

void DiscoveryService::broadcastReq()
{
    broadcast(requestDatagram());
    const QStringList known = Settings::knownAddresses();
    for (int i = 0; i < known.size() && i < maxKnownAddresses; ++i) {
        const KnownAddress entry = KnownAddress::parse(known.at(i));
        if (entry.isValid())
            probe(entry.address, entry.port);
    }
    if (!pairedProbeAge.isValid() || pairedProbeAge.hasExpired(pairedProbeGapMs))
        probePairedDevices();
}

void DiscoveryService::probePairedDevices()
{
    pairedProbeAge.start();
    // The store holds at most maxPairedDevices: one datagram pair each per round.
    const QVector<PairedDevice> paired = PairedDevices::all();
    for (int i = 0; i < paired.size() && i < PairedDevices::maxPairedDevices; ++i) {
        const KnownAddress &last = paired.at(i).lastAddress;
        if (last.isValid() && !isLocalAddress(last.address))
            probe(last.address, last.port);
    }
}

bool DiscoveryService::isFingerprint(const QString &text)
{
    if (text.size() != fingerprintLength)
        return false;
    for (const QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digit && (c < QLatin1Char('a') || c > QLatin1Char('f')))
            return false;
    }
    return true;
}

void DiscoveryService::probe(const QHostAddress &address, quint16 port)
{
    const quint16 destinationPort = port != 0 ? port : discoveryPort;
    socket.writeDatagram(requestDatagram(), address, destinationPort);
    // Our information too: the device lists us at once, even where its answers to us are lost.
    if (serverPort != 0)
        sendHostInfo(address, destinationPort);
}

QByteArray DiscoveryService::requestDatagram()
{
    QJsonObject request;
    request.insert(QStringLiteral("request"), true);
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

void DiscoveryService::leave()
{
    broadcast(deviceDatagram(0));
}

void DiscoveryService::handleDatagrams()
{
    if (!budgetWindow.isValid() || budgetWindow.hasExpired(datagramBudgetWindowMs)) {
        budgetWindow.start();
        busyInWindowNs = 0;
    }
    QElapsedTimer busy;
    busy.start();
    while (socket.hasPendingDatagrams()) {
        // Nothing more is read in this window: the socket stays quiet (it signals again only
        // once something has been read) until the window ends.
        if (busyInWindowNs + busy.nsecsElapsed() >= datagramTimeBudgetMs * 1000000) {
            if (!resumeReading.isActive())
                resumeReading.start(static_cast<int>(qMax<qint64>(datagramBudgetWindowMs - budgetWindow.elapsed(), 1)));
            break;
        }
        const qint64 size = socket.pendingDatagramSize();
        if (size < 0)
            break;
        QByteArray payload(static_cast<int>(size), Qt::Uninitialized);
        QHostAddress sender;
        quint16 senderPort = 0;
        const qint64 read = socket.readDatagram(payload.data(), payload.size(), &sender, &senderPort);
        if (read < 0)
            break;
        payload.truncate(static_cast<int>(read));
        handleDatagram(payload, sender, senderPort);
    }
    busyInWindowNs += busy.nsecsElapsed();
}

bool DiscoveryService::listenForAnnouncements()
{
    discoveryPort = Settings::discoveryPort();
    if (!announcements.bind(QHostAddress::Any, discoveryPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return false;
    connect(&announcements, &QUdpSocket::readyRead, this, [this] {
        // What waits is bounded by the system's receive buffer; each datagram passes the same
        // source filter as those of the main socket.
        while (announcements.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = announcements.receiveDatagram(maxDatagramBytes + 1);
            handleDatagram(
                datagram.data(), datagram.senderAddress(), static_cast<quint16>(datagram.senderPort()), false);
        }
    });
    return true;
}

void DiscoveryService::handleDatagram(
    const QByteArray &payload, const QHostAddress &sender, quint16 senderPort, bool answerRequests)
{
    // Our own broadcasts come back to us; a device never answers or lists itself.
    if (isLocalAddress(sender))
        return;
    const qint64 now = clock.elapsed();
    if (payload.size() > maxDatagramBytes || !sources.admit(sender, now))
        return;
    const QJsonDocument document = parseJson(payload);
    if (!document.isObject())
        return;
    const QJsonObject message = document.object();
    const QJsonValue request = message.value(QStringLiteral("request"));
    if (!request.isBool())
        return;
    if (request.toBool() && !answerRequests)
        return;
    if (request.toBool()) {
        // Answer to the source port, so a peer whose bind failed still hears us. A request
        // repeated within a second stays unanswered, and those from outside the local networks
        // are answered only within the filter's overall rate.
        refreshInterfaces();
        sources.setLocalNetworks(localNetworks);
        if (sources.mayAnswer(sender, now))
            sendHostInfo(sender, senderPort);
        return;
    }
    const QJsonValue name = message.value(QStringLiteral("device_name"));
    const QJsonValue port = message.value(QStringLiteral("port"));
    if (!name.isString() || !port.isDouble())
        return;
    const QString fingerprint = message.value(QStringLiteral("fingerprint")).toString();
    emit newHost(name.toString(), sender, portFromJson(port.toDouble()),
        isFingerprint(fingerprint) ? fingerprint : QString(), senderPort);
}

QByteArray DiscoveryService::deviceDatagram(quint16 announcedPort) const
{
    // QJsonObject keeps its keys sorted, which gives the key order of the protocol.
    QJsonObject info;
    info.insert(QStringLiteral("device_name"), Settings::deviceName());
    info.insert(QStringLiteral("device_type"), QSysInfo::productType());
    info.insert(QStringLiteral("features"), QJsonArray::fromStringList(TransferFeatures::supported()));
    if (isFingerprint(ownFingerprint))
        info.insert(QStringLiteral("fingerprint"), ownFingerprint);
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
