#pragma once

#include <QString>
#include <QStringList>

class WebServer;

// The only place where the commands ask the web engine for links, so that a change of its
// link makers is met here alone.
class WebLinks
{
public:
    WebLinks() = delete;

    // The address for links: the one asked for, else this machine's first network address,
    // else 127.0.0.1 (only this machine can follow the link then).
    static QString address(const QString &requested);
    // Publishes files (replacing the previous share) and returns the link of their list page.
    static QString share(WebServer &server, const QString &address, const QStringList &files);
    // Starts a receive session and returns the link of its upload page.
    static QString uploadPage(WebServer &server, const QString &address);
};
