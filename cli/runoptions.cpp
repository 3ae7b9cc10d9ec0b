#include "runoptions.h"

#include "cli/commandoptions.h"
#include "core/paireddevices.h"
#include "core/settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace {

constexpr uint maxPort = 65535;

struct PortOption
{
    const char *name;
    const char *key;
};

const PortOption portOptions[] = {
    { "port", "serverPort" },
    { "discovery-port", "discoveryPort" },
    { "web-port", "webPort" },
};

// Through the accessors, so the values are stored as the application stores them.
void saveSetting(const QString &key, const QVariant &value)
{
    const auto port = static_cast<quint16>(value.toUInt());
    if (key == QLatin1String("deviceName"))
        Settings::setDeviceName(value.toString());
    else if (key == QLatin1String("downloadPath"))
        Settings::setDownloadPath(value.toString());
    else if (key == QLatin1String("discoverable"))
        Settings::setDiscoverable(value.toBool());
    else if (key == QLatin1String("serverPort"))
        Settings::setServerPort(port);
    else if (key == QLatin1String("discoveryPort"))
        Settings::setDiscoveryPort(port);
    else if (key == QLatin1String("webPort"))
        Settings::setWebPort(port);
}

QStringList savedLines;

void holdSettingsForThisRun()
{
    Settings::overrideForThisRun(QStringLiteral("deviceName"), Settings::deviceName());
    Settings::overrideForThisRun(QStringLiteral("downloadPath"), Settings::downloadPath());
    Settings::overrideForThisRun(QStringLiteral("discoverable"), Settings::discoverable());
    Settings::overrideForThisRun(QStringLiteral("serverPort"), int(Settings::serverPort()));
    Settings::overrideForThisRun(QStringLiteral("discoveryPort"), int(Settings::discoveryPort()));
    Settings::overrideForThisRun(QStringLiteral("webPort"), int(Settings::webPort()));
    Settings::overrideForThisRun(QStringLiteral("knownAddresses"), Settings::knownAddresses());
    // Pairs are the user's to keep: "receive --pair" and "orvex paired" change the user's file.
    PairedDevices::keepStoreIn(QSettings().fileName());
    // Removed with its contents when the program ends.
    static QTemporaryDir store;
    if (store.isValid()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
    }
}

} // namespace

void RunOptions::add(CommandOptions &options, Choices settings)
{
    if (settings & Name)
        options.addOption({ QStringLiteral("name"), tr("本次运行使用的设备名称。"), tr("名称") });
    if (settings & Dir)
        options.addOption({ QStringLiteral("dir"), tr("接收文件的下载目录。"), tr("目录") });
    if (settings & Port)
        options.addOption({ QStringLiteral("port"), tr("传输服务端口（0：由系统选择）。"), tr("端口") });
    if (settings & DiscoveryPort)
        options.addOption({ QStringLiteral("discovery-port"), tr("设备发现使用的 UDP 端口。"), tr("端口") });
    if (settings & WebPort)
        options.addOption({ QStringLiteral("web-port"), tr("网页收发使用的端口（0：由系统选择）。"), tr("端口") });
    if (settings & Hidden)
        options.addOption({ QStringLiteral("hidden"), tr("不让其他设备发现本设备。") });
    if (settings)
        options.addOption({ QStringLiteral("save"), tr("把以上设置保存为以后的默认值。") });
}

QStringList RunOptions::saved()
{
    return savedLines;
}

bool RunOptions::parsePort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > maxPort)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

QString RunOptions::apply(const QCommandLineParser &parser)
{
    QVariantMap values;
    // Only the options this command has: parser.isSet warns about the others.
    const QStringList given = parser.optionNames();
    if (given.contains(QStringLiteral("name"))) {
        const QString name = parser.value(QStringLiteral("name")).trimmed();
        if (name.isEmpty())
            return tr("设备名称不能为空。");
        values.insert(QStringLiteral("deviceName"), name);
    }
    if (given.contains(QStringLiteral("dir")))
        values.insert(QStringLiteral("downloadPath"), QDir(parser.value(QStringLiteral("dir"))).absolutePath());
    for (const PortOption &option : portOptions) {
        const QString name = QLatin1String(option.name);
        if (!given.contains(name))
            continue;
        quint16 port = 0;
        if (!parsePort(parser.value(name), &port))
            return tr("--%1 的值不是端口号：%2").arg(name, parser.value(name));
        values.insert(QLatin1String(option.key), int(port));
    }
    if (given.contains(QStringLiteral("hidden")))
        values.insert(QStringLiteral("discoverable"), false);

    const bool save = parser.optionNames().contains(QStringLiteral("save"));
    if (save && values.isEmpty())
        return tr("--save 要与要保存的设置一起使用。");
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        Settings::overrideForThisRun(it.key(), it.value());
        if (save) {
            saveSetting(it.key(), it.value());
            savedLines.append(tr("已保存为默认值：%1 = %2").arg(it.key(), it.value().toString()));
        }
    }
    holdSettingsForThisRun();
    return QString();
}
