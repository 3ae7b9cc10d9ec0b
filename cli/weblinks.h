#pragma once

#include <QString>
#include <QStringList>

class QObject;
class WebServer;

// The only place where the commands ask the web engine for links, so that a change of its
// link makers is met here alone.
class WebLinks
{
public:
    // Ports tried after a taken web port before giving up.
    static constexpr int maxPortTries = 20;

    WebLinks() = delete;

    // The address for links: the one asked for when this machine has it (an empty text, after
    // saying so, when it does not), else the best ranked network address, else 127.0.0.1 (only this machine can
    // follow the link then).
    static QString address(const QString &requested);
    // Starts the web server on the "webPort" setting or, when another program holds it, on the
    // next free port, and says so; nullptr after saying that none could be had.
    static WebServer *startServer(QObject *parent);
    // Publishes files and text (replacing the previous share) and returns the link of their list
    // page.
    static QString share(
        WebServer &server, const QString &address, const QStringList &files, const QString &text = QString());
    // Starts a receive session and returns the link of its upload page.
    static QString uploadPage(WebServer &server, const QString &address);
};
