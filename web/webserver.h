#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class RequestMapper;

namespace tarsel {
class HttpListener;
}

// The application's HTTP server: listens on the "webPort" setting from construction on (and
// first removes the partial files that unfinished uploads of an earlier run left in the
// download folder, removeLeftoverPartialFiles), routes
// requests with its RequestMapper, publishes shares for web send and builds the upload link
// for web receive.
class WebServer : public QObject
{
    Q_OBJECT

public:
    explicit WebServer(QObject *parent = nullptr);
    ~WebServer() override;

    // Publishes files for download, replacing the previous share, and returns the link of
    // their list page: "http://ip:port/list?files=<JSON>". Each file is published under its
    // name; a second file of the same name as "name (2).ext", and so on.
    QString shareFiles(const QString &ip, int port, const QStringList &files);

    // The port the server really listens on (0 when it could not bind).
    quint16 serverPort() const;

signals:
    // An upload finished into folder, and the page asked to show it.
    void folderOpenRequested(const QString &folder);

private:
    RequestMapper *requestMapper;
    tarsel::HttpListener *listener;
};

// The link of the upload page: "http://ip:port/file".
QString uploadPageLink(const QString &ip, quint16 port);
