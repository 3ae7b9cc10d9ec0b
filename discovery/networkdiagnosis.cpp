#include "networkdiagnosis.h"

#include "discovery/discoveryservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QUdpSocket>

#include <algorithm>

namespace {

// Asks the Orvex running on this machine for its information on loopback: its transfer port,
// or -1 when nothing answers.
int localTransferPort(quint16 discoveryPort)
{
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::LocalHost, 0))
        return -1;
    socket.writeDatagram(QByteArrayLiteral("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < NetworkDiagnosis::localAnswerTimeoutMs) {
        if (!socket.hasPendingDatagrams()
            && !socket.waitForReadyRead(NetworkDiagnosis::localAnswerTimeoutMs - int(clock.elapsed())))
            break;
        QByteArray payload(int(qMax<qint64>(socket.pendingDatagramSize(), 0)), Qt::Uninitialized);
        socket.readDatagram(payload.data(), payload.size());
        const QJsonObject answer = QJsonDocument::fromJson(payload).object();
        if (answer.value(QStringLiteral("request")) == QJsonValue(false))
            return answer.value(QStringLiteral("port")).toInt();
    }
    return -1;
}

bool connects(const QString &address, quint16 port, QString *error)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (socket.waitForConnected(NetworkDiagnosis::connectTimeoutMs))
        return true;
    *error = socket.errorString();
    return false;
}

bool isWireless(const QString &interfaceName)
{
    return QFileInfo::exists(QStringLiteral("/sys/class/net/%1/wireless").arg(interfaceName));
}

// An Orvex holds the port: this process, or another one of the same program.
bool heldByOrvex(const PortHolder &holder)
{
    return holder.found
        && (holder.pid == QCoreApplication::applicationPid()
            || holder.program == QCoreApplication::applicationName().toLower());
}

bool sameAddress(const QHostAddress &a, const QHostAddress &b)
{
    return a.isEqual(b, QHostAddress::TolerantConversion);
}

} // namespace

NetworkDiagnosis::NetworkDiagnosis(const Options &givenOptions, QObject *parent)
    : QObject(parent)
    , options(givenOptions)
{
    requestTimer.setInterval(requestIntervalMs);
    waitTimer.setSingleShot(true);
    connect(&waitTimer, &QTimer::timeout, this, &NetworkDiagnosis::finishLiveCheck);
}

bool NetworkDiagnosis::hasProblems() const
{
    return std::any_of(
        results.cbegin(), results.cend(), [](const Finding &finding) { return finding.verdict == Verdict::Problem; });
}

void NetworkDiagnosis::start()
{
    checkAddresses();
    checkPorts();
    checkFirewall();
    startLiveCheck();
}

NetworkDiagnosis::Finding NetworkDiagnosis::make(Kind kind, Verdict verdict) const
{
    Finding finding;
    finding.section = current;
    finding.kind = kind;
    finding.verdict = verdict;
    return finding;
}

void NetworkDiagnosis::begin(Section section)
{
    current = section;
    emit sectionStarted(section);
}

void NetworkDiagnosis::add(Finding finding)
{
    finding.section = current;
    results.append(finding);
    emit found(finding);
}

void NetworkDiagnosis::checkAddresses()
{
    begin(Section::Interfaces);
    const QVector<LocalAddress> ranked = rankedLocalAddresses();
    if (ranked.isEmpty()) {
        add(make(Kind::NoAddress, Verdict::Problem));
        return;
    }
    for (const LocalAddress &entry : ranked) {
        Finding finding = make(Kind::Interface, Verdict::Ok);
        finding.verdict = entry.kind <= LocalAddress::Kind::Physical ? Verdict::Ok : Verdict::Note;
        finding.address = entry;
        add(finding);
    }
    Finding chosen = make(Kind::ChosenAddress, Verdict::Ok);
    chosen.address = ranked.first();
    chosen.verdict = chosen.address.kind <= LocalAddress::Kind::Physical ? Verdict::Ok : Verdict::Problem;
    add(chosen);
}

void NetworkDiagnosis::checkPorts()
{
    begin(Section::Ports);
    const quint16 discoveryPort = options.discoveryPort;
    Finding discovered = make(Kind::DiscoveryPortFree, Verdict::Note);
    discovered.port = discoveryPort;
    discovered.holder = PortHolder::find(PortHolder::Protocol::Udp, discoveryPort);
    const int answeredPort = options.transferPort != 0 ? -1 : localTransferPort(discoveryPort);
    ports.append({ discoveryPort, true });
    if (answeredPort >= 0) {
        discovered.kind = Kind::DiscoveryPortAnswered;
        discovered.verdict = Verdict::Ok;
    } else if (heldByOrvex(discovered.holder)) {
        // A running Orvex never answers this machine's own addresses, loopback included.
        discovered.kind = Kind::DiscoveryPortHeld;
        discovered.verdict = Verdict::Ok;
    } else if (discovered.holder.found) {
        discovered.kind = Kind::DiscoveryPortTaken;
        discovered.verdict = Verdict::Problem;
    }
    add(discovered);

    const int transferPort = options.transferPort != 0 ? int(options.transferPort) : answeredPort;
    Finding transfer = make(Kind::TransferPortUnknown, Verdict::Unknown);
    if (transferPort == 0) {
        transfer.kind = Kind::TransferPortHidden;
        transfer.verdict = Verdict::Note;
    } else if (transferPort > 0) {
        transfer.port = static_cast<quint16>(transferPort);
        ports.append({ transfer.port, false });
        const bool listening = connects(QStringLiteral("127.0.0.1"), transfer.port, &transfer.detail);
        transfer.kind = listening ? Kind::TransferPortListening : Kind::TransferPortClosed;
        transfer.verdict = listening ? Verdict::Ok : Verdict::Problem;
    }
    add(transfer);

    Finding web = make(Kind::WebPortFree, Verdict::Note);
    web.port = options.webPort;
    web.holder = PortHolder::find(PortHolder::Protocol::Tcp, web.port);
    ports.append({ web.port, false });
    if (heldByOrvex(web.holder)) {
        web.kind = Kind::WebPortHeld;
        web.verdict = Verdict::Ok;
    } else if (web.holder.found) {
        web.kind = Kind::WebPortTaken;
    }
    add(web);
}

void NetworkDiagnosis::checkFirewall()
{
    begin(Section::Firewall);
    checkFirewallTool(FirewallRules::Tool::Nftables, QStringLiteral("nft"),
        { QStringLiteral("list"), QStringLiteral("ruleset") }, &FirewallRules::fromNftables);
    checkFirewallTool(FirewallRules::Tool::Iptables, QStringLiteral("iptables-save"), {}, &FirewallRules::fromIptables);
    checkFirewallTool(FirewallRules::Tool::Ufw, QStringLiteral("ufw"),
        { QStringLiteral("status"), QStringLiteral("verbose") }, &FirewallRules::fromUfw);
    checkFirewallTool(FirewallRules::Tool::Firewalld, QStringLiteral("firewall-cmd"),
        { QStringLiteral("--list-ports") }, &FirewallRules::fromFirewalld);
}

void NetworkDiagnosis::checkFirewallTool(FirewallRules::Tool tool, const QString &program, const QStringList &arguments,
    QVector<FirewallRules::Finding> (*parse)(const QString &, const QVector<FirewallRules::Port> &))
{
    const QString path = QStandardPaths::findExecutable(program,
        { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/bin") });
    if (path.isEmpty())
        return;
    QProcess process;
    process.start(path, arguments);
    const bool ran = process.waitForFinished(firewallToolTimeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!ran)
        process.kill();
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    Finding finding = make(Kind::FirewallClear, Verdict::Ok);
    finding.tool = tool;
    if (!ran || process.exitCode() != 0) {
        // firewall-cmd without a running firewalld, ufw or nft without root, and so on.
        finding.kind = Kind::FirewallUnreadable;
        finding.verdict = Verdict::Unknown;
        finding.detail = QString::fromLocal8Bit(process.readAllStandardError()).simplified().left(160);
        add(finding);
        return;
    }
    const QVector<FirewallRules::Finding> drops = parse(output, ports);
    if (drops.isEmpty()) {
        add(finding);
        return;
    }
    finding.kind = Kind::FirewallDrops;
    finding.verdict = Verdict::Problem;
    for (const FirewallRules::Finding &rule : drops) {
        finding.rule = rule;
        add(finding);
    }
}

void NetworkDiagnosis::startLiveCheck()
{
    begin(Section::Live);
    discovery = new DiscoveryService(this);
    connect(discovery, &DiscoveryService::newHost, this, &NetworkDiagnosis::recordDevice);
    connect(&requestTimer, &QTimer::timeout, discovery, &DiscoveryService::broadcastReq);
    discovery->broadcastReq();
    for (const KnownAddress &known : qAsConst(options.addresses))
        discovery->probe(known.address, known.port);
    requestTimer.start();
    waitTimer.start(options.waitMs);
}

void NetworkDiagnosis::recordDevice(const QString &name, const QHostAddress &address, ushort port)
{
    const auto same = [&address](const DeviceInfo &device) { return sameAddress(device.addr, address); };
    answered.erase(std::remove_if(answered.begin(), answered.end(), same), answered.end());
    // Port 0 says the device leaves.
    if (port != 0)
        answered.append({ name, deviceAddressText(address), port, address, QString() });
}

void NetworkDiagnosis::finishLiveCheck()
{
    requestTimer.stop();
    bool onlyAsked = !answered.isEmpty();
    for (const DeviceInfo &device : qAsConst(answered)) {
        Finding finding = make(Kind::DeviceAnswered, Verdict::Ok);
        finding.device = device;
        finding.asked = std::any_of(options.addresses.cbegin(), options.addresses.cend(),
            [&device](const KnownAddress &known) { return sameAddress(known.address, device.addr); });
        onlyAsked = onlyAsked && finding.asked;
        add(finding);
        const bool reached = connects(device.ip, device.port, &finding.detail);
        finding.kind = reached ? Kind::DeviceConnects : Kind::DeviceUnreachable;
        finding.verdict = reached ? Verdict::Ok : Verdict::Problem;
        add(finding);
    }
    for (const KnownAddress &known : qAsConst(options.addresses)) {
        const bool heard = std::any_of(answered.cbegin(), answered.cend(),
            [&known](const DeviceInfo &device) { return sameAddress(known.address, device.addr); });
        if (heard)
            continue;
        Finding finding = make(Kind::AddressSilent, Verdict::Problem);
        finding.known = known;
        add(finding);
    }
    if (answered.isEmpty()) {
        add(make(Kind::NoDevice, Verdict::Note));
        const QVector<LocalAddress> ranked = rankedLocalAddresses();
        if (!ranked.isEmpty() && isWireless(ranked.first().interfaceName)) {
            Finding finding = make(Kind::WirelessIsolation, Verdict::Note);
            finding.address = ranked.first();
            add(finding);
        }
    } else if (onlyAsked) {
        add(make(Kind::OnlyAskedAnswered, Verdict::Note));
    }
    emit finished();
}
