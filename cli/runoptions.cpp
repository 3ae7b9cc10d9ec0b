#include "runoptions.h"

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

void holdSettingsForThisRun()
{
    Settings::overrideForThisRun(QStringLiteral("deviceName"), Settings::deviceName());
    Settings::overrideForThisRun(QStringLiteral("downloadPath"), Settings::downloadPath());
    Settings::overrideForThisRun(QStringLiteral("discoverable"), Settings::discoverable());
    Settings::overrideForThisRun(QStringLiteral("serverPort"), int(Settings::serverPort()));
    Settings::overrideForThisRun(QStringLiteral("discoveryPort"), int(Settings::discoveryPort()));
    Settings::overrideForThisRun(QStringLiteral("webPort"), int(Settings::webPort()));
    Settings::overrideForThisRun(QStringLiteral("knownAddresses"), Settings::knownAddresses());
    // Removed with its contents when the program ends.
    static QTemporaryDir store;
    if (store.isValid()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
    }
}

} // namespace

void RunOptions::add(QCommandLineParser &parser)
{
    parser.addOption({ QStringLiteral("name"), tr("本次运行使用的设备名称。"), tr("名称") });
    parser.addOption({ QStringLiteral("dir"), tr("接收文件的下载目录。"), tr("目录") });
    parser.addOption({ QStringLiteral("port"), tr("传输服务端口（0：由系统选择）。"), tr("端口") });
    parser.addOption({ QStringLiteral("discovery-port"), tr("设备发现使用的 UDP 端口。"), tr("端口") });
    parser.addOption({ QStringLiteral("web-port"), tr("网页收发使用的端口（0：由系统选择）。"), tr("端口") });
    parser.addOption({ QStringLiteral("hidden"), tr("不让其他设备发现本设备。") });
    parser.addOption({ QStringLiteral("save"), tr("把以上设置保存为以后的默认值。") });
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
    if (parser.isSet(QStringLiteral("name"))) {
        const QString name = parser.value(QStringLiteral("name")).trimmed();
        if (name.isEmpty())
            return tr("设备名称不能为空。");
        values.insert(QStringLiteral("deviceName"), name);
    }
    if (parser.isSet(QStringLiteral("dir")))
        values.insert(QStringLiteral("downloadPath"), QDir(parser.value(QStringLiteral("dir"))).absolutePath());
    for (const PortOption &option : portOptions) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        quint16 port = 0;
        if (!parsePort(parser.value(name), &port))
            return tr("--%1 的值不是端口号：%2").arg(name, parser.value(name));
        values.insert(QLatin1String(option.key), int(port));
    }
    if (parser.isSet(QStringLiteral("hidden")))
        values.insert(QStringLiteral("discoverable"), false);

    const bool save = parser.isSet(QStringLiteral("save"));
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        Settings::overrideForThisRun(it.key(), it.value());
        if (save)
            saveSetting(it.key(), it.value());
    }
    holdSettingsForThisRun();
    return QString();
}
