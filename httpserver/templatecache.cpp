#include "templatecache.h"

#include "httpserver/annotatedlocker.h"
#include "httpserver/httplogging.h"

#include <QDateTime>
#include <QSettings>

#include <memory>

namespace tarsel {

TemplateCache::TemplateCache(const QSettings *settings, QObject *parent)
    : TemplateLoader(settings, parent)
{
    const int cacheSize = settings->value(QStringLiteral("cacheSize"), QStringLiteral("1000000")).toInt();
    m_cache.setMaxCost(qBound(0, cacheSize, maxCacheCharacters));
    m_cacheTimeout = settings->value(QStringLiteral("cacheTime"), QStringLiteral("60000")).toInt();
    qCDebug(lcHttp, "TemplateCache: timeout=%i, size=%li", m_cacheTimeout, long(m_cache.maxCost()));
}

QString TemplateCache::tryFile(const QString &localizedName)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    MutexLocker locker(&m_mutex);
    qCDebug(lcHttp, "TemplateCache: trying cached %s", qPrintable(localizedName));
    if (const CacheEntry *entry = m_cache.object(localizedName)) {
        if (m_cacheTimeout == 0 || now - m_cacheTimeout < entry->created)
            return entry->document;
    }
    // A miss reads the file under the lock; empty documents are kept too, so a missing
    // language variant is not looked for on disk again until its entry expires.
    auto entry = std::make_unique<CacheEntry>();
    entry->created = now;
    entry->document = TemplateLoader::tryFile(localizedName);
    const QString document = entry->document;
    // A document costs its characters, a remembered miss its name and more; every entry at least
    // a share of the cache that bounds the number of entries.
    const int size = document.isEmpty() ? localizedName.size() + missCost : document.size();
    const int cost = qMax(size, m_cache.maxCost() / maxCacheEntries);
    m_cache.insert(localizedName, entry.release(), cost);
    return document;
}

} // namespace tarsel
