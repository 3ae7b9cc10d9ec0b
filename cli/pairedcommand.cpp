#include "pairedcommand.h"

#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/exitcode.h"
#include "core/paireddevices.h"
#include "core/peertext.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

void PairedCommand::addOptions(CommandOptions &parser) const
{
    parser.setApplicationDescription(
        tr("orvex paired：列出已配对的设备（名称、指纹、是否自动接收、上次的地址）并管理它们：\n"
           "  orvex paired rename 指纹 新名称\n"
           "  orvex paired unpair 指纹\n"
           "  orvex paired auto 指纹 on|off   程序窗口自动接收来自此设备的文件"));
    parser.addPositionalArgument(
        QStringLiteral("action"), tr("rename、unpair 或 auto，及其参数；不给出时列出设备。"), tr("[操作 指纹 ...]"));
}

int PairedCommand::start(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (!arguments.isEmpty())
        return change(arguments);
    const QVector<PairedDevice> devices = PairedDevices::all();
    if (devices.isEmpty()) {
        Console::summary(tr("没有已配对的设备。"));
        return exitcode::success;
    }
    const bool json = Console::mode() == Console::Mode::Json;
    for (const PairedDevice &device : devices)
        Console::result(deviceLine(device, json));
    return exitcode::success;
}

int PairedCommand::change(const QStringList &arguments)
{
    const QString action = arguments.first();
    const QString fingerprint = arguments.value(1).trimmed().toLower();
    const int wanted = action == QLatin1String("unpair") ? 2 : 3;
    const bool known
        = action == QLatin1String("rename") || action == QLatin1String("unpair") || action == QLatin1String("auto");
    const QString value = arguments.value(2).trimmed();
    if (!known || arguments.size() != wanted || (action == QLatin1String("rename") && value.isEmpty())
        || (action == QLatin1String("auto") && value != QLatin1String("on") && value != QLatin1String("off"))) {
        Console::err(tr("用法：orvex paired [rename 指纹 新名称 | unpair 指纹 | auto 指纹 on|off]"));
        return exitcode::usage;
    }
    const std::optional<PairedDevice> device = PairedDevices::findByFingerprint(fingerprint);
    if (!device) {
        Console::err(tr("没有指纹为 %1 的已配对设备。").arg(peerText(fingerprint)));
        return exitcode::notFound;
    }
    if (action == QLatin1String("rename")) {
        PairedDevices::rename(fingerprint, value);
        Console::summary(tr("已将 %1 改名为 %2。").arg(peerText(device->name), peerText(value)));
    } else if (action == QLatin1String("unpair")) {
        PairedDevices::unpair(fingerprint);
        Console::summary(tr("已取消与 %1 的配对。").arg(peerText(device->name)));
    } else {
        const bool on = value == QLatin1String("on");
        PairedDevices::setAutoAccept(fingerprint, on);
        Console::summary(on ? tr("将自动接收来自 %1 的文件。").arg(peerText(device->name))
                            : tr("来自 %1 的文件将先询问。").arg(peerText(device->name)));
    }
    return exitcode::success;
}

void PairedCommand::interrupt(int signalNumber)
{
    Q_UNUSED(signalNumber)
    emit finished(exitcode::success);
}

QString PairedCommand::deviceLine(const PairedDevice &device, bool json)
{
    const QString address = device.lastAddress.isValid() ? device.lastAddress.text() : QString();
    if (json) {
        const QJsonObject object { { QStringLiteral("name"), device.name },
            { QStringLiteral("fingerprint"), device.fingerprint() },
            { QStringLiteral("autoAccept"), device.autoAccept }, { QStringLiteral("lastAddress"), address } };
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(peerText(device.name), device.fingerprint(), device.autoAccept ? tr("自动接收") : tr("询问"),
            address.isEmpty() ? QStringLiteral("-") : address);
}
