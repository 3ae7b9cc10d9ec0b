#include "settings.h"

#include <QCoreApplication>
#include <QHash>
#include <QHostInfo>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QSettings>
#include <QStandardPaths>

namespace {

constexpr quint16 defaultServerPort = 0;
constexpr quint16 defaultDiscoveryPort = 52637;
constexpr quint16 defaultWebPort = 3000;

// The overrides of this run; the accessors are called from any thread.
QReadWriteLock &overridesLock()
{
    static QReadWriteLock lock;
    return lock;
}

QHash<QString, QVariant> &overrides()
{
    static QHash<QString, QVariant> values;
    return values;
}

QVariant read(const QString &key, const QVariant &fallback)
{
    {
        QReadLocker lock(&overridesLock());
        const auto found = overrides().constFind(key);
        if (found != overrides().constEnd())
            return found.value();
    }
    return QSettings().value(key, fallback);
}

void write(const QString &key, const QVariant &value)
{
    {
        QWriteLocker lock(&overridesLock());
        const auto found = overrides().find(key);
        if (found != overrides().end())
            found.value() = value;
    }
    QSettings().setValue(key, value);
}

// Ports are stored as integers and read as unsigned values cut to 16 bits.
quint16 readPort(const QString &key, quint16 fallback)
{
    return static_cast<quint16>(read(key, fallback).toUInt());
}

} // namespace

void Settings::overrideForThisRun(const QString &key, const QVariant &value)
{
    QWriteLocker lock(&overridesLock());
    overrides().insert(key, value);
}

void Settings::clearRunOverrides()
{
    QWriteLocker lock(&overridesLock());
    overrides().clear();
}

QString Settings::deviceName()
{
    return read(QStringLiteral("deviceName"), QHostInfo::localHostName()).toString();
}

void Settings::setDeviceName(const QString &name)
{
    write(QStringLiteral("deviceName"), name);
}

QString Settings::downloadPath()
{
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + QLatin1Char('/')
        + QCoreApplication::applicationName();
    return read(QStringLiteral("downloadPath"), fallback).toString();
}

void Settings::setDownloadPath(const QString &path)
{
    write(QStringLiteral("downloadPath"), path);
}

bool Settings::discoverable()
{
    return read(QStringLiteral("discoverable"), true).toBool();
}

void Settings::setDiscoverable(bool discoverable)
{
    write(QStringLiteral("discoverable"), discoverable);
}

quint16 Settings::serverPort()
{
    return readPort(QStringLiteral("serverPort"), defaultServerPort);
}

void Settings::setServerPort(quint16 port)
{
    write(QStringLiteral("serverPort"), int(port));
}

quint16 Settings::discoveryPort()
{
    return readPort(QStringLiteral("discoveryPort"), defaultDiscoveryPort);
}

void Settings::setDiscoveryPort(quint16 port)
{
    write(QStringLiteral("discoveryPort"), int(port));
}

quint16 Settings::webPort()
{
    return readPort(QStringLiteral("webPort"), defaultWebPort);
}

void Settings::setWebPort(quint16 port)
{
    write(QStringLiteral("webPort"), int(port));
}

QString Settings::language()
{
    return read(QStringLiteral("language"), QStringLiteral("system")).toString();
}

void Settings::setLanguage(const QString &language)
{
    write(QStringLiteral("language"), language);
}

QStringList Settings::knownAddresses()
{
    return read(QStringLiteral("knownAddresses"), QStringList()).toStringList();
}

void Settings::setKnownAddresses(const QStringList &addresses)
{
    write(QStringLiteral("knownAddresses"), addresses);
}
