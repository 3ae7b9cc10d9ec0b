#include "templatecache.h"

#include "httpserver/annotatedlocker.h"

#include <QDateTime>
#include <QSettings>
#include <QtDebug>

#include <memory>

namespace tarsel {

TemplateCache::TemplateCache(const QSettings *settings, QObject *parent)
    : TemplateLoader(settings, parent)
{
    m_cache.setMaxCost(settings->value(QStringLiteral("cacheSize"), QStringLiteral("1000000")).toInt());
    m_cacheTimeout = settings->value(QStringLiteral("cacheTime"), QStringLiteral("60000")).toInt();
    qDebug("TemplateCache: timeout=%i, size=%li", m_cacheTimeout, long(m_cache.maxCost()));
}

QString TemplateCache::tryFile(const QString &localizedName)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    MutexLocker locker(&m_mutex);
    qDebug("TemplateCache: trying cached %s", qPrintable(localizedName));
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
    m_cache.insert(localizedName, entry.release(), document.length());
    return document;
}

} // namespace tarsel
