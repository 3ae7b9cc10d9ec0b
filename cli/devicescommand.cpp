#include "devicescommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "core/knownaddress.h"
#include "core/paireddevices.h"
#include "core/peertext.h"
#include "core/portholder.h"
#include "core/settings.h"
#include "discovery/devicelist.h"
#include "discovery/discoveryservice.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

void DevicesCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(tr("orvex devices：列出局域网中运行 Orvex 的设备（名称、地址、端口）。"));
    parser.addOption({ QStringLiteral("wait"), tr("等待回应的秒数（默认 %1）。").arg(defaultWaitSeconds), tr("秒") });
    parser.addOption({ QStringLiteral("probe"),
        tr("也直接询问这个地址（可带端口，如 192.168.2.7:52637），用于广播到达不了的设备。"), tr("地址") });
    parser.addOption({ QStringLiteral("follow"), tr("持续运行，设备上线或离开时各输出一行，直到中断。") });
}

int DevicesCommand::start(const QCommandLineParser &parser)
{
    int waitSeconds = defaultWaitSeconds;
    if (parser.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        waitSeconds = parser.value(QStringLiteral("wait")).toInt(&ok);
        if (!ok || waitSeconds < 0 || waitSeconds > maxWaitSeconds) {
            Console::err(tr("--wait 的值无效：%1").arg(parser.value(QStringLiteral("wait"))));
            return exitcode::usage;
        }
    }
    json = Console::mode() == Console::Mode::Json;
    KnownAddress probed;
    if (parser.isSet(QStringLiteral("probe"))) {
        probed = KnownAddress::parse(parser.value(QStringLiteral("probe")));
        if (!probed.isValid()) {
            Console::err(tr("不是有效的地址：%1").arg(peerText(parser.value(QStringLiteral("probe")))));
            return exitcode::usage;
        }
    }

    // The service is not started: it asks from a port of its own, so that the answers reach this
    // command rather than an application listening on the discovery port of the same machine,
    // and nothing is announced for this machine's address.
    discovery = new DiscoveryService(this);
    list = new DeviceList(discovery, this);
    if (parser.isSet(QStringLiteral("follow"))) {
        // Announcements and leaves go to the discovery port; without it only answers to the
        // requests come, and a device that quits goes only when it has been silent long enough.
        if (!discovery->listenForAnnouncements()) {
            const quint16 port = Settings::discoveryPort();
            QString message = tr("无法监听发现端口 %1：只能看到对询问的回答，退出的设备约 %2 秒后才会消失。")
                                  .arg(port)
                                  .arg(DeviceList::defaultSilenceLimitMs / 1000);
            const PortHolder holder = PortHolder::find(PortHolder::Protocol::Udp, port);
            if (holder.pid != 0)
                message += tr("端口被 %1（进程 %2）占用。").arg(peerText(holder.program)).arg(holder.pid);
            Console::err(message);
        }
        connect(list, &DeviceList::deviceAdded, this,
            [this](const DeviceInfo &device) { Console::result(deviceLine(device, json, QStringLiteral("added"))); });
        connect(list, &DeviceList::deviceRemoved, this,
            [this](const DeviceInfo &device) { Console::result(deviceLine(device, json, QStringLiteral("removed"))); });
    } else {
        waitTimer.setSingleShot(true);
        connect(&waitTimer, &QTimer::timeout, this, &DevicesCommand::printList);
        waitTimer.start(waitSeconds * 1000);
    }
    list->start();
    if (probed.isValid())
        discovery->probe(probed.address, probed.port);
    return keepRunning;
}

void DevicesCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    emit finished(exitcode::success);
}

void DevicesCommand::printList()
{
    if (list->devices().isEmpty()) {
        Console::err(tr("未发现设备"));
        emit finished(exitcode::notFound);
        return;
    }
    for (const DeviceInfo &device : list->devices())
        Console::result(deviceLine(device, json));
    emit finished(exitcode::success);
}

QString DevicesCommand::deviceLine(const DeviceInfo &device, bool asJson, const QString &event)
{
    // By the fingerprint it announces: a hint for the list, which accepts nothing.
    const std::optional<PairedDevice> paired
        = device.fingerprint.isEmpty() ? std::nullopt : PairedDevices::findByFingerprint(device.fingerprint);
    if (asJson) {
        QJsonObject object { { QStringLiteral("name"), device.deviceName }, { QStringLiteral("address"), device.ip },
            { QStringLiteral("port"), device.port } };
        if (paired)
            object.insert(QStringLiteral("paired"), paired->name);
        if (!event.isEmpty())
            object.insert(QStringLiteral("event"), event);
        // JSON escapes the C0 controls; Console::out replaces what else could drive the terminal.
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    QString line
        = QStringLiteral("%1\t%2\t%3").arg(peerText(device.deviceName), device.ip, QString::number(device.port));
    if (paired)
        line += QLatin1Char('\t') + tr("已配对：%1").arg(peerText(paired->name));
    if (event.isEmpty())
        return line;
    return (event == QLatin1String("added") ? QStringLiteral("+\t") : QStringLiteral("-\t")) + line;
}
