#pragma once

#include <QString>

// The six persistent keys of the per-user settings store. Every call opens its own settings
// object, so a read always sees the latest write and the accessors are safe on any thread.
// Defaults are computed on read and never written back.
class Settings
{
public:
    Settings() = delete;

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
};
