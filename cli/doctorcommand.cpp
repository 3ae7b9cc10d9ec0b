#include "doctorcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/devicelist.h"
#include "cli/exitcode.h"
#include "core/localipv4addresses.h"
#include "core/peertext.h"
#include "core/portholder.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"

#include <QCommandLineParser>
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

constexpr int localAnswerTimeoutMs = 1000;

QString interfaceKindText(LocalAddress::Kind kind)
{
    switch (kind) {
    case LocalAddress::Kind::DefaultRoute:
        return DoctorCommand::tr("默认路由所在网卡");
    case LocalAddress::Kind::Physical:
        return DoctorCommand::tr("网卡");
    case LocalAddress::Kind::Virtual:
        return DoctorCommand::tr("虚拟网桥或隧道，手机一般无法通过它访问");
    case LocalAddress::Kind::LinkLocal:
        return DoctorCommand::tr("链路本地地址：网络没有分配地址");
    }
    return QString();
}

QString portText(const FirewallRules::Port &port)
{
    return QStringLiteral("%1 %2").arg(port.udp ? QStringLiteral("UDP") : QStringLiteral("TCP")).arg(port.number);
}

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
    while (clock.elapsed() < localAnswerTimeoutMs) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(localAnswerTimeoutMs - int(clock.elapsed())))
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
    if (socket.waitForConnected(DoctorCommand::connectTimeoutMs))
        return true;
    *error = socket.errorString();
    return false;
}

bool isWireless(const QString &interfaceName)
{
    return QFileInfo::exists(QStringLiteral("/sys/class/net/%1/wireless").arg(interfaceName));
}

} // namespace

void DoctorCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex doctor：检查网络，找出设备互相找不到的原因：本机地址、端口、防火墙规则，以及与其他设备的实际连通性。"
           "可给出对方的地址，直接询问它。只读取，不修改任何设置。"));
    parser.addOption(
        { QStringLiteral("wait"), tr("等待其他设备回应的秒数（默认 %1）。").arg(defaultWaitSeconds), tr("秒") });
    parser.addPositionalArgument(QStringLiteral("addresses"), tr("要直接询问的设备地址（可带端口）。"), tr("地址..."));
}

int DoctorCommand::start(const QCommandLineParser &parser)
{
    int waitSeconds = defaultWaitSeconds;
    if (parser.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        waitSeconds = parser.value(QStringLiteral("wait")).toInt(&ok);
        if (!ok || waitSeconds < 1 || waitSeconds > 60) {
            Console::err(tr("--wait 的值无效：%1").arg(peerText(parser.value(QStringLiteral("wait")))));
            return exitcode::usage;
        }
    }
    const QStringList addresses = parser.positionalArguments();
    if (addresses.size() > maxAddresses) {
        Console::err(tr("最多可询问 %1 个地址。").arg(maxAddresses));
        return exitcode::usage;
    }
    for (const QString &text : addresses) {
        const KnownAddress known = KnownAddress::parse(text);
        if (!known.isValid()) {
            Console::err(tr("不是有效的地址：%1").arg(peerText(text)));
            return exitcode::usage;
        }
        given.append(known);
    }

    checkAddresses();
    checkPorts();
    checkFirewall();

    Console::out(tr("实际连通性（等待 %1 秒）：").arg(waitSeconds));
    discovery = new DiscoveryService(this);
    list = new DeviceList(discovery, this);
    list->start();
    for (const KnownAddress &known : qAsConst(given))
        discovery->probe(known.address, known.port);
    waitTimer.setSingleShot(true);
    connect(&waitTimer, &QTimer::timeout, this, &DoctorCommand::finishLiveCheck);
    waitTimer.start(waitSeconds * 1000);
    return keepRunning;
}

void DoctorCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    emit finished(exitcode::success);
}

void DoctorCommand::report(Verdict verdict, const QString &text, const QString &detail)
{
    QString label;
    switch (verdict) {
    case Verdict::Ok:
        label = tr("[正常]");
        break;
    case Verdict::Note:
        label = tr("[注意]");
        break;
    case Verdict::Problem:
        label = tr("[问题]");
        problems = true;
        break;
    case Verdict::Unknown:
        label = tr("[未知]");
        break;
    }
    Console::out(QStringLiteral("%1 %2").arg(label, text));
    if (!detail.isEmpty())
        Console::out(QStringLiteral("       ") + detail);
}

void DoctorCommand::checkAddresses()
{
    Console::out(tr("网络接口："));
    const QVector<LocalAddress> ranked = rankedLocalAddresses();
    if (ranked.isEmpty()) {
        report(Verdict::Problem, tr("没有可用的网络地址：请连接网络。"));
        return;
    }
    for (const LocalAddress &entry : ranked) {
        const bool usable = entry.kind <= LocalAddress::Kind::Physical;
        report(usable ? Verdict::Ok : Verdict::Note,
            tr("%1 %2/%3（%4）")
                .arg(entry.interfaceName, entry.address)
                .arg(entry.prefixLength)
                .arg(interfaceKindText(entry.kind)));
    }
    const LocalAddress &best = ranked.first();
    report(best.kind <= LocalAddress::Kind::Physical ? Verdict::Ok : Verdict::Problem,
        tr("链接和二维码使用的地址：%1（%2）").arg(best.address, best.interfaceName));
}

void DoctorCommand::checkPorts()
{
    Console::out(tr("端口："));
    const quint16 discoveryPort = Settings::discoveryPort();
    const QString orvex = QCoreApplication::applicationName().toLower();
    const PortHolder discoveryHolder = PortHolder::find(PortHolder::Protocol::Udp, discoveryPort);
    const int answeredPort = localTransferPort(discoveryPort);
    ports.append({ discoveryPort, true });
    if (answeredPort >= 0) {
        report(Verdict::Ok,
            discoveryHolder.pid != 0
                ? tr("发现端口 UDP %1：由 Orvex（进程 %2）监听并回应").arg(discoveryPort).arg(discoveryHolder.pid)
                : tr("发现端口 UDP %1：由 Orvex 监听并回应").arg(discoveryPort));
    } else if (discoveryHolder.found && discoveryHolder.program == orvex) {
        // A running Orvex never answers this machine's own addresses, loopback included.
        report(Verdict::Ok, tr("发现端口 UDP %1：由 Orvex（进程 %2）监听").arg(discoveryPort).arg(discoveryHolder.pid));
    } else if (discoveryHolder.found) {
        report(Verdict::Problem,
            discoveryHolder.pid != 0 ? tr("发现端口 UDP %1 被 %2（进程 %3）占用")
                                           .arg(discoveryPort)
                                           .arg(discoveryHolder.program)
                                           .arg(discoveryHolder.pid)
                                     : tr("发现端口 UDP %1 被另一个用户的程序占用").arg(discoveryPort),
            tr("在系统设置中换一个发现端口（所有设备需相同），或关闭该程序。"));
    } else {
        report(Verdict::Note, tr("发现端口 UDP %1：没有 Orvex 在运行，其他设备找不到本机").arg(discoveryPort),
            tr("启动 orvex 或 orvex receive。"));
    }

    if (answeredPort == 0) {
        report(Verdict::Note, tr("传输端口：本机设置为不可被发现，其他设备看不到它"));
    } else if (answeredPort > 0) {
        transferPort = static_cast<quint16>(answeredPort);
        ports.append({ transferPort, false });
        QString error;
        if (connects(QStringLiteral("127.0.0.1"), transferPort, &error))
            report(Verdict::Ok, tr("传输端口 TCP %1：正在监听").arg(transferPort));
        else
            report(Verdict::Problem, tr("传输端口 TCP %1：无法连接（%2）").arg(transferPort).arg(error));
    } else {
        report(Verdict::Unknown,
            tr("传输端口：本机的 Orvex 不回应本机的询问，无法得知；下面的实际连通性检查其他设备的传输端口"));
    }

    const quint16 webPort = Settings::webPort();
    const PortHolder webHolder = PortHolder::find(PortHolder::Protocol::Tcp, webPort);
    ports.append({ webPort, false });
    if (webHolder.found && webHolder.program == orvex)
        report(Verdict::Ok, tr("网页端口 TCP %1：由 Orvex（进程 %2）监听").arg(webPort).arg(webHolder.pid));
    else if (webHolder.found)
        report(Verdict::Note,
            webHolder.pid != 0
                ? tr("网页端口 TCP %1 被 %2（进程 %3）占用").arg(webPort).arg(webHolder.program).arg(webHolder.pid)
                : tr("网页端口 TCP %1 被另一个用户的程序占用").arg(webPort),
            tr("orvex share 和 orvex inbox 会改用下一个空闲端口。"));
    else
        report(Verdict::Note, tr("网页端口 TCP %1：空闲（网页收发未在运行）").arg(webPort));
}

void DoctorCommand::checkFirewall()
{
    Console::out(tr("防火墙（只读取，不修改）："));
    checkFirewallTool(QStringLiteral("nftables"), QStringLiteral("nft"),
        { QStringLiteral("list"), QStringLiteral("ruleset") }, &FirewallRules::fromNftables);
    checkFirewallTool(QStringLiteral("iptables"), QStringLiteral("iptables-save"), {}, &FirewallRules::fromIptables);
    checkFirewallTool(QStringLiteral("ufw"), QStringLiteral("ufw"),
        { QStringLiteral("status"), QStringLiteral("verbose") }, &FirewallRules::fromUfw);
    checkFirewallTool(QStringLiteral("firewalld"), QStringLiteral("firewall-cmd"), { QStringLiteral("--list-ports") },
        &FirewallRules::fromFirewalld);
}

void DoctorCommand::checkFirewallTool(const QString &name, const QString &program, const QStringList &arguments,
    QVector<FirewallRules::Finding> (*parse)(const QString &, const QVector<FirewallRules::Port> &))
{
    const QString path = QStandardPaths::findExecutable(program,
        { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/bin") });
    if (path.isEmpty())
        return;
    QProcess tool;
    tool.start(path, arguments);
    const bool ran = tool.waitForFinished(firewallToolTimeoutMs) && tool.exitStatus() == QProcess::NormalExit;
    if (!ran)
        tool.kill();
    const QString output = QString::fromLocal8Bit(tool.readAllStandardOutput());
    if (!ran || tool.exitCode() != 0) {
        // firewall-cmd without a running firewalld, ufw or nft without root, and so on.
        const QString reason = QString::fromLocal8Bit(tool.readAllStandardError()).simplified().left(160);
        report(Verdict::Unknown, tr("无法读取 %1 规则：%2").arg(name, peerText(reason)),
            tr("以 root 运行可读取：sudo %1 doctor").arg(QCoreApplication::applicationFilePath()));
        return;
    }
    const QVector<FirewallRules::Finding> findings = parse(output, ports);
    if (findings.isEmpty()) {
        report(Verdict::Ok, tr("%1：没有丢弃 Orvex 端口的规则").arg(name));
        return;
    }
    for (const FirewallRules::Finding &finding : findings) {
        report(Verdict::Problem,
            (finding.broadcastOnly ? tr("%1 规则丢弃发往 %2 的广播：%3") : tr("%1 规则丢弃发往 %2 的数据：%3"))
                .arg(name, portText(finding.port), peerText(finding.rule)),
            tr("放行：sudo %1").arg(finding.openCommand));
    }
}

void DoctorCommand::finishLiveCheck()
{
    const QVector<DeviceInfo> &found = list->devices();
    QVector<DeviceInfo> answeredGiven;
    for (const DeviceInfo &device : found) {
        const bool asked = std::any_of(given.cbegin(), given.cend(), [&device](const KnownAddress &known) {
            return known.address.isEqual(device.addr, QHostAddress::TolerantConversion);
        });
        report(Verdict::Ok,
            tr("%1（%2）回应了设备发现%3")
                .arg(peerText(device.deviceName), device.ip, asked ? tr("（直接询问）") : QString()));
        QString error;
        if (connects(device.ip, device.port, &error))
            report(Verdict::Ok, tr("可以连接 %1 的传输端口 TCP %2").arg(device.ip).arg(device.port));
        else
            report(Verdict::Problem, tr("无法连接 %1 的传输端口 TCP %2：%3").arg(device.ip).arg(device.port).arg(error),
                tr("对方的防火墙可能拦截了该端口：在对方运行 orvex doctor。"));
    }
    for (const KnownAddress &known : qAsConst(given)) {
        const bool answered = std::any_of(found.cbegin(), found.cend(), [&known](const DeviceInfo &device) {
            return known.address.isEqual(device.addr, QHostAddress::TolerantConversion);
        });
        if (!answered)
            report(Verdict::Problem, tr("%1 没有回应直接询问").arg(known.text()),
                tr("确认对方运行着 Orvex、发现端口相同、地址可达（ping %1），并在对方运行 orvex doctor。")
                    .arg(known.address.toString()));
    }
    if (found.isEmpty()) {
        report(Verdict::Note, tr("没有设备回应"),
            tr("请在另一台设备上运行 orvex 或 orvex receive。若它在运行：路由器可能隔离了无线客户端或过滤了广播"
               "（访客网络常这样），或两台设备不在同一网段；可用 orvex devices --probe 地址 直接询问。"));
        const QVector<LocalAddress> ranked = rankedLocalAddresses();
        if (!ranked.isEmpty() && isWireless(ranked.first().interfaceName))
            report(Verdict::Note,
                tr("%1 是无线网卡：请在路由器中关闭“AP 隔离”或“客户端隔离”，或不用访客网络。")
                    .arg(ranked.first().interfaceName));
    } else if (!given.isEmpty() && found.size() == given.size()) {
        report(Verdict::Note, tr("只有直接询问的设备回应了：广播可能被过滤，或它们在另一个网段"),
            tr("在设备列表中用“添加设备”加入它们的地址。"));
    }
    emit finished(problems ? exitcode::failure : exitcode::success);
}
