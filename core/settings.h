#pragma once

#include <QString>
#include <QVariant>

// The eight persistent keys of the per-user settings store. Every call opens its own settings
// object, so a read always sees the latest write and the accessors are safe on any thread.
// Defaults are computed on read and never written back.
class Settings
{
public:
    Settings() = delete;

    // Replaces the stored value of key (one of the seven names above, as stored: "deviceName",
    // "downloadPath", "discoverable", "serverPort", "discoveryPort", "webPort", "language", "knownAddresses") for the
    // rest of this run without writing anything, as a command-line option does. A setter still writes to the store, and
    // also replaces the override of its key, so a read sees the latest write.
    static void overrideForThisRun(const QString &key, const QVariant &value);
    static void clearRunOverrides();

    static QString deviceName();
    static void setDeviceName(const QString &name);

    static QString downloadPath();
    static void setDownloadPath(const QString &path);

    static bool discoverable();
    static void setDiscoverable(bool discoverable);

    static quint16 serverPort();
    static void setServerPort(quint16 port);

    static quint16 discoveryPort();
    static void setDiscoveryPort(quint16 port);

    static quint16 webPort();
    static void setWebPort(quint16 port);

    // Addresses the user added to be asked directly, beside the broadcasts: texts of
    // KnownAddress ("192.168.2.7", "192.168.2.7:52637", "[fd00::7]:52637"), kept as a list so
    // that other records of devices can refer to the same entries.
    static QStringList knownAddresses();
    static void setKnownAddresses(const QStringList &addresses);

    // "system" (the default: the system locale decides), "zh" or "en"; read at start.
    static QString language();
    static void setLanguage(const QString &language);
};
