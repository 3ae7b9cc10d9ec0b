#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class RequestMapper;
class UploadBatch;

namespace tarsel {
class HttpListener;
}

// The application's HTTP server: listens on the "webPort" setting from construction on (and
// first removes the partial files that unfinished uploads of an earlier run left in the
// download folder, PartialFileRegistry::removeLeftovers), routes requests with its RequestMapper,
// publishes shares for web send and opens receive sessions for web receive. Every page, upload
// and download needs a key that only the links handed out here carry (see RequestMapper);
// nothing is served to whoever merely finds the port.
class WebServer : public QObject
{
    Q_OBJECT

public:
    explicit WebServer(QObject *parent = nullptr);
    ~WebServer() override;

    // Publishes files for download under a new random key, replacing the previous share (whose
    // key stops working), and returns the link of their list page: "http://ip:port/s/<key>".
    // Each file is published under its name; a second file of the same name as "name (2).ext",
    // and so on. A text (at most sharedtext::maxTextBytes; may be empty) is shown on the page
    // above the files, with a button that copies it.
    QString shareFiles(const QString &ip, int port, const QStringList &files, const QString &text = QString());
    // The link of the current share for another address; empty when nothing is shared.
    QString shareLink(const QString &ip, int port) const;
    // Ends the current share: its key opens nothing from now on (a download already running
    // goes on to its end).
    void endShare();

    // Starts a receive session and returns its key (for uploadPageLink). Uploads are taken with
    // this key until endReceiving(key).
    QString startReceiving();
    // Ends the session of key: its key is refused from now on, and its chunked uploads still
    // running are stopped, their partial data removed.
    void endReceiving(const QString &key);

    // The port the server really listens on (0 when it could not bind).
    quint16 serverPort() const;
    // The port it was asked to listen on: the "webPort" setting at construction.
    quint16 requestedPort() const { return wantedPort; }

signals:
    // A share was published (live) or ended (not live).
    void shareChanged(bool live);
    // Uploads finished into folder, and the desktop may show it: once per batch of uploads, at
    // most once every few seconds.
    void folderOpenRequested(const QString &folder);
    // A batch of count uploaded files was saved into folder.
    void filesReceived(int count, const QString &folder);
    // An uploaded file is complete at path.
    void fileUploaded(const QString &path);
    // A text arrived through the upload page of the receive session of sessionKey. Shown only as
    // plain text (sharedtext::shown); never run or opened by itself.
    void textReceived(const QString &sessionKey, const QString &text);
    // A shared file was handed to a client completely.
    void fileDownloaded(const QString &name, qint64 bytes);

private:
    RequestMapper *requestMapper;
    UploadBatch *uploadBatch;
    tarsel::HttpListener *listener;
    quint16 wantedPort;
};

// The link of the upload page of the receive session of key: "http://ip:port/r/<key>".
QString uploadPageLink(const QString &ip, quint16 port, const QString &key);
