#pragma once

#include <QString>

// Who holds a local port, as /proc tells: the owner's user id always, the process only when it
// is one whose open files this user may read (the user's own, or any as root).
struct PortHolder
{
    enum class Protocol {
        Tcp,
        Udp,
    };

    bool found = false;
    uint uid = 0;
    qint64 pid = 0;
    // The process's command name; empty when the process is not known.
    QString program;

    // A listening TCP socket or a bound UDP socket on port, IPv4 or IPv6.
    static PortHolder find(Protocol protocol, quint16 port);
};
