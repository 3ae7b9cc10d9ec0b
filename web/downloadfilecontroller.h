#pragma once

#include "httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QCache>
#include <QMap>
#include <QMutex>
#include <QString>

class QSettings;

// Serves the files of one web-send share: exactly the shared files, each under
// "/download/" + its published name, whatever folder it lives in; any other path is 404.
// Every answer is an attachment. Small files are kept in memory for "cacheTime" milliseconds.
// One controller serves all handler threads at once.
class DownloadFileController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    // sharedFiles maps each published name to the absolute path of the file.
    DownloadFileController(
        QSettings *settings, const QMap<QString, QString> &sharedFiles = {}, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;

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
    };

    void sendFile(
        const QString &name, const QString &path, const QString &cacheKey, qint64 now, tarsel::HttpResponse &response);

    QString encoding;
    QString docroot;
    int maxAge = 60000;
    int cacheTimeout = 60000;
    int maxCachedFileSize = 65536;
    QCache<QString, CacheEntry> cache;
    QMutex mutex;
    const QMap<QString, QString> sharedFiles;
};
