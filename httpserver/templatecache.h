#pragma once

#include "httpserver/templateloader.h"

#include <QCache>
#include <QMutex>
#include <QString>

namespace tarsel {

// The template loader the connection threads share: documents, and the fact that a language
// variant does not exist, are kept in memory for "cacheTime" milliseconds.
class TemplateCache : public TemplateLoader
{
    Q_OBJECT
public:
    explicit TemplateCache(const QSettings *settings, QObject *parent = nullptr);

    QString tryFile(const QString &localizedName) override;

private:
    struct CacheEntry
    {
        QString document;
        qint64 created = 0;
    };

    QCache<QString, CacheEntry> m_cache;
    int m_cacheTimeout = 60000;
    QMutex m_mutex;
};

} // namespace tarsel
