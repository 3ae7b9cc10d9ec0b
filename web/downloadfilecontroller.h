#pragma once

#include "httpserver/byterange.h"
#include "httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QCache>
#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>

class QSettings;

// Serves the files of one web-send share: exactly the shared files, each under
// "/download/" + its published name, whatever folder it lives in; any other path is 404.
// Every answer is an attachment with a strong "ETag" (size, time and inode of the file) and
// "Last-Modified", and honours a single "Range" (206, or 416 past the end) under "If-Range".
// The body has a "Content-Length", so the connection stays open for the next request. Small
// files are kept in memory for "cacheTime" milliseconds. serveArchive() streams all shared files
// as one ZIP. One controller serves all handler threads at once.
class DownloadFileController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    // sharedFiles maps each published name to the absolute path of the file.
    DownloadFileController(
        QSettings *settings, const QMap<QString, QString> &sharedFiles = {}, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    // All shared files as one stored ZIP (archiveName) of exact "Content-Length", written from
    // the files as it goes. A file that changed meanwhile ends the connection early.
    void serveArchive(tarsel::HttpRequest &request, tarsel::HttpResponse &response);

    static const QString archiveName;

    // "Content-Disposition" (attachment, with the name) and "Content-Type" from the name's ending.
    void setContentType(const QString &fileName, tarsel::HttpResponse &response) const;

signals:
    // A shared file was handed to a client completely. Emitted in a handler thread.
    void fileSent(const QString &name, qint64 bytes);

private:
    struct CacheEntry
    {
        QByteArray document;
        qint64 created = 0;
        QByteArray filename;
        QByteArray etag;
        QDateTime modified;
    };

    void sendFile(const QString &name, const QString &path, const QString &cacheKey, qint64 now,
        tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void sendCached(const CacheEntry &entry, tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    // Status and headers of an answer about a file of size bytes; false when no body follows (416).
    bool startAnswer(const QString &name, qint64 size, const QByteArray &etag, const QDateTime &modified,
        tarsel::HttpRequest &request, tarsel::HttpResponse &response, tarsel::ByteRange *range) const;

    QString encoding;
    QString docroot;
    int maxAge = 60000;
    int cacheTimeout = 60000;
    int maxCachedFileSize = 65536;
    QCache<QString, CacheEntry> cache;
    QMutex mutex;
    const QMap<QString, QString> sharedFiles;
};
