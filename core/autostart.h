#pragma once

#include <QString>

// "开机自动启动": an entry in the desktop's XDG autostart folder that starts this program at
// login. The entry itself is the setting; nothing else records it.
class Autostart
{
public:
    Autostart() = delete;

    // $XDG_CONFIG_HOME/autostart/app.orvex.Orvex.desktop
    static QString entryPath();
    static bool isEnabled();
    // Writes or removes the entry; returns false when that failed.
    static bool setEnabled(bool enabled);
};
