#pragma once

#include "httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QCache>
#include <QMutex>
#include <QString>

class QSettings;

namespace tarsel {

// Answers a request with the file named by the document root followed by the request's decoded
// path. Never serves anything outside the document root; serves a directory's "index.html";
// keeps small files in a cache that all connection threads share.
class StaticFileController : public HttpRequestHandler
{
    Q_OBJECT
    Q_DISABLE_COPY(StaticFileController)

public:
    // settings is read in the constructor only.
    explicit StaticFileController(const QSettings *settings, QObject *parent = nullptr);

    void service(HttpRequest &request, HttpResponse &response) override;

private:
    struct CacheEntry
    {
        QByteArray document;
        qint64 created = 0;
        QByteArray filename;
    };

    void setContentType(const QByteArray &fileName, HttpResponse &response) const;
    void setCacheControl(HttpResponse &response) const;
    bool liesInsideDocroot(const QString &fileName) const;

    QString m_docroot;
    QString m_encoding;
    int m_maxAge;
    int m_cacheTimeout;
    int m_maxCachedFileSize;
    QCache<QString, CacheEntry> m_cache;
    QMutex m_mutex;
};

} // namespace tarsel
