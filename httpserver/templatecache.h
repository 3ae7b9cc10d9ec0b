#pragma once

#include "httpserver/templateloader.h"

#include <QCache>
#include <QMutex>
#include <QString>

namespace tarsel {

// The template loader the connection threads share: documents, and the fact that a language
// variant does not exist, are kept in memory for "cacheTime" milliseconds, within "cacheSize"
// characters (at most maxCacheCharacters) and maxCacheEntries entries.
class TemplateCache : public TemplateLoader
{
    Q_OBJECT
public:
    // "cacheSize" counts characters of documents; it is held to this.
    static constexpr int maxCacheCharacters = 32 * 1024 * 1024;
    static constexpr int maxCacheEntries = 1000;
    // What a remembered miss costs beyond its name: it is not free.
    static constexpr int missCost = 256;

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
