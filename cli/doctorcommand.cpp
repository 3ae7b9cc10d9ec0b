#include "doctorcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "core/peertext.h"
#include "core/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

using Finding = NetworkDiagnosis::Finding;
using Kind = NetworkDiagnosis::Kind;

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

QString sectionText(NetworkDiagnosis::Section section, int waitSeconds)
{
    switch (section) {
    case NetworkDiagnosis::Section::Interfaces:
        return DoctorCommand::tr("网络接口：");
    case NetworkDiagnosis::Section::Ports:
        return DoctorCommand::tr("端口：");
    case NetworkDiagnosis::Section::Firewall:
        return DoctorCommand::tr("防火墙（只读取，不修改）：");
    case NetworkDiagnosis::Section::Live:
        return DoctorCommand::tr("实际连通性（等待 %1 秒）：").arg(waitSeconds);
    }
    return QString();
}

QString verdictText(NetworkDiagnosis::Verdict verdict)
{
    switch (verdict) {
    case NetworkDiagnosis::Verdict::Ok:
        return DoctorCommand::tr("[正常]");
    case NetworkDiagnosis::Verdict::Note:
        return DoctorCommand::tr("[注意]");
    case NetworkDiagnosis::Verdict::Problem:
        return DoctorCommand::tr("[问题]");
    case NetworkDiagnosis::Verdict::Unknown:
        return DoctorCommand::tr("[未知]");
    }
    return QString();
}

QString portText(const FirewallRules::Port &port)
{
    return QStringLiteral("%1 %2").arg(port.udp ? QStringLiteral("UDP") : QStringLiteral("TCP")).arg(port.number);
}

// The line of a finding and, where there is something to do, the line under it.
QPair<QString, QString> findingText(const Finding &f)
{
    const PortHolder &holder = f.holder;
    switch (f.kind) {
    case Kind::NoAddress:
        return { DoctorCommand::tr("没有可用的网络地址：请连接网络。"), {} };
    case Kind::Interface:
        return { DoctorCommand::tr("%1 %2/%3（%4）")
                     .arg(f.address.interfaceName, f.address.address)
                     .arg(f.address.prefixLength)
                     .arg(interfaceKindText(f.address.kind)),
            {} };
    case Kind::ChosenAddress:
        return { DoctorCommand::tr("链接和二维码使用的地址：%1（%2）").arg(f.address.address, f.address.interfaceName),
            {} };
    case Kind::DiscoveryPortAnswered:
        return { holder.pid != 0
                ? DoctorCommand::tr("发现端口 UDP %1：由 Orvex（进程 %2）监听并回应").arg(f.port).arg(holder.pid)
                : DoctorCommand::tr("发现端口 UDP %1：由 Orvex 监听并回应").arg(f.port),
            {} };
    case Kind::DiscoveryPortHeld:
        return { DoctorCommand::tr("发现端口 UDP %1：由 Orvex（进程 %2）监听").arg(f.port).arg(holder.pid), {} };
    case Kind::DiscoveryPortTaken:
        return { holder.pid != 0 ? DoctorCommand::tr("发现端口 UDP %1 被 %2（进程 %3）占用")
                                       .arg(f.port)
                                       .arg(holder.program)
                                       .arg(holder.pid)
                                 : DoctorCommand::tr("发现端口 UDP %1 被另一个用户的程序占用").arg(f.port),
            DoctorCommand::tr("在系统设置中换一个发现端口（所有设备需相同），或关闭该程序。") };
    case Kind::DiscoveryPortFree:
        return { DoctorCommand::tr("发现端口 UDP %1：没有 Orvex 在运行，其他设备找不到本机").arg(f.port),
            DoctorCommand::tr("启动 orvex 或 orvex receive。") };
    case Kind::TransferPortHidden:
        return { DoctorCommand::tr("传输端口：本机设置为不可被发现，其他设备看不到它"), {} };
    case Kind::TransferPortListening:
        return { DoctorCommand::tr("传输端口 TCP %1：正在监听").arg(f.port), {} };
    case Kind::TransferPortClosed:
        return { DoctorCommand::tr("传输端口 TCP %1：无法连接（%2）").arg(f.port).arg(f.detail), {} };
    case Kind::TransferPortUnknown:
        return { DoctorCommand::tr(
                     "传输端口：本机的 Orvex 不回应本机的询问，无法得知；下面的实际连通性检查其他设备的传输端口"),
            {} };
    case Kind::WebPortHeld:
        return { DoctorCommand::tr("网页端口 TCP %1：由 Orvex（进程 %2）监听").arg(f.port).arg(holder.pid), {} };
    case Kind::WebPortTaken:
        return { holder.pid != 0 ? DoctorCommand::tr("网页端口 TCP %1 被 %2（进程 %3）占用")
                                       .arg(f.port)
                                       .arg(holder.program)
                                       .arg(holder.pid)
                                 : DoctorCommand::tr("网页端口 TCP %1 被另一个用户的程序占用").arg(f.port),
            DoctorCommand::tr("orvex share 和 orvex inbox 会改用下一个空闲端口。") };
    case Kind::WebPortFree:
        return { DoctorCommand::tr("网页端口 TCP %1：空闲（网页收发未在运行）").arg(f.port), {} };
    case Kind::FirewallUnreadable:
        return { DoctorCommand::tr("无法读取 %1 规则：%2").arg(FirewallRules::toolName(f.tool), peerText(f.detail)),
            DoctorCommand::tr("以 root 运行可读取：sudo %1 doctor").arg(QCoreApplication::applicationFilePath()) };
    case Kind::FirewallClear:
        return { DoctorCommand::tr("%1：没有丢弃 Orvex 端口的规则").arg(FirewallRules::toolName(f.tool)), {} };
    case Kind::FirewallDrops:
        return { (f.rule.broadcastOnly ? DoctorCommand::tr("%1 规则丢弃发往 %2 的广播：%3")
                                       : DoctorCommand::tr("%1 规则丢弃发往 %2 的数据：%3"))
                     .arg(FirewallRules::toolName(f.tool), portText(f.rule.port), peerText(f.rule.rule)),
            DoctorCommand::tr("放行：sudo %1").arg(f.rule.openCommand) };
    case Kind::DeviceAnswered:
        return { DoctorCommand::tr("%1（%2）回应了设备发现%3")
                     .arg(peerText(f.device.deviceName), f.device.ip,
                         f.asked ? DoctorCommand::tr("（直接询问）") : QString()),
            {} };
    case Kind::DeviceConnects:
        return { DoctorCommand::tr("可以连接 %1 的传输端口 TCP %2").arg(f.device.ip).arg(f.device.port), {} };
    case Kind::DeviceUnreachable:
        return {
            DoctorCommand::tr("无法连接 %1 的传输端口 TCP %2：%3").arg(f.device.ip).arg(f.device.port).arg(f.detail),
            DoctorCommand::tr("对方的防火墙可能拦截了该端口：在对方运行 orvex doctor。")
        };
    case Kind::AddressSilent:
        return { DoctorCommand::tr("%1 没有回应直接询问").arg(f.known.text()),
            DoctorCommand::tr("确认对方运行着 Orvex、发现端口相同、地址可达（ping %1），并在对方运行 orvex doctor。")
                .arg(f.known.address.toString()) };
    case Kind::NoDevice:
        return { DoctorCommand::tr("没有设备回应"),
            DoctorCommand::tr(
                "请在另一台设备上运行 orvex 或 orvex receive。若它在运行：路由器可能隔离了无线客户端或过滤了广播"
                "（访客网络常这样），或两台设备不在同一网段；可用 orvex devices --probe 地址 直接询问。") };
    case Kind::WirelessIsolation:
        return { DoctorCommand::tr("%1 是无线网卡：请在路由器中关闭“AP 隔离”或“客户端隔离”，或不用访客网络。")
                     .arg(f.address.interfaceName),
            {} };
    case Kind::OnlyAskedAnswered:
        return { DoctorCommand::tr("只有直接询问的设备回应了：广播可能被过滤，或它们在另一个网段"),
            DoctorCommand::tr("在设备列表中用“添加设备”加入它们的地址。") };
    }
    return {};
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
    if (parser.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        waitSeconds = parser.value(QStringLiteral("wait")).toInt(&ok);
        if (!ok || waitSeconds < 1 || waitSeconds > 60) {
            Console::err(tr("--wait 的值无效：%1").arg(peerText(parser.value(QStringLiteral("wait")))));
            return exitcode::usage;
        }
    }
    NetworkDiagnosis::Options options;
    options.discoveryPort = Settings::discoveryPort();
    options.webPort = Settings::webPort();
    options.waitMs = waitSeconds * 1000;
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
        options.addresses.append(known);
    }

    diagnosis = new NetworkDiagnosis(options, this);
    connect(diagnosis, &NetworkDiagnosis::found, this, &DoctorCommand::print);
    connect(diagnosis, &NetworkDiagnosis::finished, this,
        [this] { emit finished(diagnosis->hasProblems() ? exitcode::failure : exitcode::success); });
    // The firewall has no line when none of its tools is installed: its heading comes all the same.
    connect(diagnosis, &NetworkDiagnosis::sectionStarted, this,
        [this](NetworkDiagnosis::Section section) { Console::out(sectionText(section, waitSeconds)); });
    diagnosis->start();
    return keepRunning;
}

void DoctorCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    emit finished(exitcode::success);
}

void DoctorCommand::print(const NetworkDiagnosis::Finding &finding)
{
    const QPair<QString, QString> text = findingText(finding);
    Console::out(QStringLiteral("%1 %2").arg(verdictText(finding.verdict), text.first));
    if (!text.second.isEmpty())
        Console::out(QStringLiteral("       ") + text.second);
}
