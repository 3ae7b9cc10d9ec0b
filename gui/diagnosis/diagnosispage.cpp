#include "diagnosispage.h"

#include "core/peertext.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "web/webserver.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

using Kind = NetworkDiagnosis::Kind;

QString holderText(const PortHolder &holder)
{
    return holder.pid != 0 ? DiagnosisPage::tr("%1（进程 %2）").arg(holder.program).arg(holder.pid)
                           : DiagnosisPage::tr("另一个用户的程序");
}

// The line of a finding; what to do, if anything, goes on a second line.
QString findingText(const NetworkDiagnosis::Finding &f)
{
    switch (f.kind) {
    case Kind::NoAddress:
        return DiagnosisPage::tr("没有可用的网络地址：请连接网络。");
    case Kind::Interface:
        return DiagnosisPage::tr("%1 %2/%3").arg(f.address.interfaceName, f.address.address).arg(f.address.prefixLength)
            + (f.address.kind == LocalAddress::Kind::Virtual
                    ? DiagnosisPage::tr("（虚拟网桥或隧道，手机一般无法通过它访问）")
                    : f.address.kind == LocalAddress::Kind::LinkLocal ? DiagnosisPage::tr("（网络没有分配地址）")
                                                                      : QString());
    case Kind::ChosenAddress:
        return DiagnosisPage::tr("链接和二维码使用的地址：%1（%2）").arg(f.address.address, f.address.interfaceName);
    case Kind::DiscoveryPortAnswered:
    case Kind::DiscoveryPortHeld:
        return DiagnosisPage::tr("发现端口 UDP %1：由 Orvex 监听").arg(f.port);
    case Kind::DiscoveryPortTaken:
        return DiagnosisPage::tr(
            "发现端口 UDP %1 被 %2 占用\n在系统设置中换一个发现端口（所有设备需相同），或关闭该程序。")
            .arg(f.port)
            .arg(holderText(f.holder));
    case Kind::DiscoveryPortFree:
        return DiagnosisPage::tr("发现端口 UDP %1：没有被监听，其他设备找不到本机").arg(f.port);
    case Kind::TransferPortHidden:
        return DiagnosisPage::tr("本机设置为不可被发现，其他设备看不到它");
    case Kind::TransferPortListening:
        return DiagnosisPage::tr("传输端口 TCP %1：正在监听").arg(f.port);
    case Kind::TransferPortClosed:
        return DiagnosisPage::tr("传输端口 TCP %1：无法连接（%2）").arg(f.port).arg(f.detail);
    case Kind::TransferPortUnknown:
        return DiagnosisPage::tr("传输端口：无法得知是否在监听");
    case Kind::WebPortHeld:
        return DiagnosisPage::tr("网页端口 TCP %1：由 Orvex 监听").arg(f.port);
    case Kind::WebPortTaken:
        return DiagnosisPage::tr(
            "网页端口 TCP %1 被 %2 占用\n网页收发无法使用：关闭该程序，或在系统设置中另选网页端口。")
            .arg(f.port)
            .arg(holderText(f.holder));
    case Kind::WebPortFree:
        return DiagnosisPage::tr("网页端口 TCP %1：空闲").arg(f.port);
    case Kind::FirewallUnreadable:
        return DiagnosisPage::tr("无法读取 %1 规则：%2\n以 root 运行 orvex doctor 可读取。")
            .arg(FirewallRules::toolName(f.tool), peerText(f.detail));
    case Kind::FirewallClear:
        return DiagnosisPage::tr("%1：没有丢弃 Orvex 端口的规则").arg(FirewallRules::toolName(f.tool));
    case Kind::FirewallDrops:
        return (f.rule.broadcastOnly ? DiagnosisPage::tr("%1 规则丢弃发往 %2 %3 端口的广播：%4\n放行：sudo %5")
                                     : DiagnosisPage::tr("%1 规则丢弃发往 %2 %3 端口的数据：%4\n放行：sudo %5"))
            .arg(FirewallRules::toolName(f.tool), f.rule.port.udp ? QStringLiteral("UDP") : QStringLiteral("TCP"))
            .arg(f.rule.port.number)
            .arg(peerText(f.rule.rule), f.rule.openCommand);
    case Kind::DeviceAnswered:
        return DiagnosisPage::tr("%1（%2）回应了设备发现").arg(peerText(f.device.deviceName), f.device.ip);
    case Kind::DeviceConnects:
        return DiagnosisPage::tr("可以连接 %1 的传输端口 TCP %2").arg(f.device.ip).arg(f.device.port);
    case Kind::DeviceUnreachable:
        return DiagnosisPage::tr("无法连接 %1 的传输端口 TCP %2：%3\n对方的防火墙可能拦截了该端口。")
            .arg(f.device.ip)
            .arg(f.device.port)
            .arg(f.detail);
    case Kind::AddressSilent:
        return DiagnosisPage::tr("%1 没有回应直接询问\n确认对方运行着 Orvex、发现端口相同、地址可达。")
            .arg(f.known.text());
    case Kind::NoDevice:
        return DiagnosisPage::tr("没有设备回应\n路由器可能隔离了无线客户端或过滤了广播，或两台设备不在同一网段；"
                                 "可在在线设备页用“添加设备”输入对方的地址。");
    case Kind::WirelessIsolation:
        return DiagnosisPage::tr("%1 是无线网卡：请在路由器中关闭“AP 隔离”或“客户端隔离”，或不用访客网络。")
            .arg(f.address.interfaceName);
    case Kind::OnlyAskedAnswered:
        return DiagnosisPage::tr("只有直接询问的设备回应了：广播可能被过滤，或它们在另一个网段");
    }
    return QString();
}

QString verdictText(NetworkDiagnosis::Verdict verdict)
{
    switch (verdict) {
    case NetworkDiagnosis::Verdict::Ok:
        return DiagnosisPage::tr("正常");
    case NetworkDiagnosis::Verdict::Note:
        return DiagnosisPage::tr("注意");
    case NetworkDiagnosis::Verdict::Problem:
        return DiagnosisPage::tr("问题");
    case NetworkDiagnosis::Verdict::Unknown:
        return DiagnosisPage::tr("未知");
    }
    return QString();
}

} // namespace

DiagnosisPage::DiagnosisPage(QWidget *parent)
    : QWidget(parent)
    , startButton(new QPushButton(tr("开始诊断"), this))
    , lines(new QListWidget(this))
{
    startButton->setObjectName(QStringLiteral("diagnose_btn"));
    lines->setObjectName(QStringLiteral("diagnosis_list"));
    lines->setWordWrap(true);
    auto *explanation = new QLabel(tr("检查设备互相找不到的原因：本机地址、端口、防火墙规则，以及与其他设备的实际连通性"
                                      "。只读取，不修改任何设置。"),
        this);
    explanation->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(startButton, 0, Qt::AlignLeft);
    layout->addWidget(lines, 1);
    connect(startButton, &QPushButton::clicked, this, &DiagnosisPage::diagnose);
}

void DiagnosisPage::useRunningServers(DiscoveryService *discovery, WebServer *webServer)
{
    runningDiscovery = discovery;
    runningWebServer = webServer;
}

void DiagnosisPage::diagnose()
{
    if (diagnosis)
        return;
    lines->clear();
    NetworkDiagnosis::Options options;
    // Ports saved in the settings since the servers started take effect only at the next start.
    options.discoveryPort = runningDiscovery ? runningDiscovery->listenPort() : Settings::discoveryPort();
    options.transferPort = runningDiscovery ? runningDiscovery->announcedPort() : 0;
    options.webPort = Settings::webPort();
    if (runningWebServer)
        options.webPort
            = runningWebServer->serverPort() != 0 ? runningWebServer->serverPort() : runningWebServer->requestedPort();
    const QStringList known = Settings::knownAddresses();
    for (const QString &text : known) {
        const KnownAddress address = KnownAddress::parse(text);
        if (address.isValid() && options.addresses.size() < DiscoveryService::maxKnownAddresses)
            options.addresses.append(address);
    }
    diagnosis = new NetworkDiagnosis(options, this);
    connect(diagnosis, &NetworkDiagnosis::sectionStarted, this, &DiagnosisPage::showSection);
    connect(diagnosis, &NetworkDiagnosis::found, this, &DiagnosisPage::showFinding);
    connect(diagnosis, &NetworkDiagnosis::finished, this, [this] {
        diagnosis->deleteLater();
        diagnosis = nullptr;
        startButton->setEnabled(true);
        QApplication::restoreOverrideCursor();
        emit diagnosed();
    });
    startButton->setEnabled(false);
    // The local checks read the system and run the firewall tools before the live check waits.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    diagnosis->start();
}

void DiagnosisPage::showSection(NetworkDiagnosis::Section section)
{
    QString title;
    switch (section) {
    case NetworkDiagnosis::Section::Interfaces:
        title = tr("网络接口");
        break;
    case NetworkDiagnosis::Section::Ports:
        title = tr("端口");
        break;
    case NetworkDiagnosis::Section::Firewall:
        title = tr("防火墙");
        break;
    case NetworkDiagnosis::Section::Live:
        title = tr("实际连通性（等待其他设备回应……）");
        break;
    }
    auto *item = new QListWidgetItem(title, lines);
    QFont bold = item->font();
    bold.setBold(true);
    item->setFont(bold);
    item->setFlags(Qt::ItemIsEnabled);
}

void DiagnosisPage::showFinding(const NetworkDiagnosis::Finding &finding)
{
    auto *item
        = new QListWidgetItem(QStringLiteral("[%1] %2").arg(verdictText(finding.verdict), findingText(finding)), lines);
    item->setData(kindRole, int(finding.kind));
    item->setData(verdictRole, int(finding.verdict));
    if (finding.verdict == NetworkDiagnosis::Verdict::Problem)
        item->setForeground(Qt::red);
}
