#include "staticfilecontroller.h"

#include "httpserver/annotatedlocker.h"
#include "httpserver/httplogging.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/mimetypes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace tarsel {

namespace {

// Files are read and sent in blocks of this size.
constexpr qint64 blockSize = 65536;

// Request paths are raw bytes after decoding; Latin-1 keeps every byte sequence distinct as a
// cache key, where a UTF-8 decoding would fold invalid sequences together.
QString cacheKey(const QByteArray &path)
{
    return QString::fromLatin1(path);
}

bool isResourcePath(const QString &path)
{
    return path.startsWith(QLatin1String(":/")) || path.startsWith(QLatin1String("qrc://"));
}

} // namespace

StaticFileController::StaticFileController(const QSettings *settings, QObject *parent)
    : HttpRequestHandler(parent)
{
    m_maxAge = settings->value(QStringLiteral("maxAge"), QStringLiteral("60000")).toInt();
    m_encoding = settings->value(QStringLiteral("encoding"), QStringLiteral("UTF-8")).toString();
    m_docroot = settings->value(QStringLiteral("path"), QStringLiteral(".")).toString();
    if (!isResourcePath(m_docroot) && QDir::isRelativePath(m_docroot)) {
        const QString configDir = QFileInfo(settings->fileName()).absolutePath();
        m_docroot = QDir::cleanPath(QFileInfo(QDir(configDir), m_docroot).absoluteFilePath());
    }
    m_maxCachedFileSize = settings->value(QStringLiteral("maxCachedFileSize"), QStringLiteral("65536")).toInt();
    m_cache.setMaxCost(settings->value(QStringLiteral("cacheSize"), QStringLiteral("1000000")).toInt());
    m_cacheTimeout = settings->value(QStringLiteral("cacheTime"), QStringLiteral("60000")).toInt();
    qCDebug(lcHttp, "StaticFileController: docroot=%s, encoding=%s, maxAge=%i", qPrintable(m_docroot),
        qPrintable(m_encoding), m_maxAge);
    qCDebug(lcHttp, "StaticFileController: cache timeout=%i, size=%li", m_cacheTimeout, long(m_cache.maxCost()));
}

void StaticFileController::service(HttpRequest &request, HttpResponse &response)
{
    QByteArray path = request.path();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    bool hit = false;
    QByteArray document;
    QByteArray filename;
    {
        MutexLocker locker(&m_mutex);
        // Copied out under the lock: another thread may evict the entry right afterwards.
        if (const CacheEntry *entry = m_cache.object(cacheKey(path))) {
            if (m_cacheTimeout == 0 || now - m_cacheTimeout < entry->created) {
                hit = true;
                document = entry->document;
                filename = entry->filename;
            }
        }
    }
    if (hit) {
        qCDebug(lcHttp, "StaticFileController: Cache hit for %s", path.constData());
        setContentType(filename, response);
        setCacheControl(response);
        response.write(document);
        return;
    }
    qCDebug(lcHttp, "StaticFileController: Cache miss for %s", path.constData());

    if (path.contains("/..")) {
        qCWarning(lcHttp, "StaticFileController: detected forbidden characters in path %s", path.constData());
        response.setStatus(403, "forbidden");
        response.write("403 forbidden", true);
        return;
    }

    const QString key = cacheKey(path);
    QString fileName = m_docroot + QString::fromUtf8(path);
    if (QFileInfo(fileName).isDir()) {
        path += "/index.html";
        fileName += QLatin1String("/index.html");
    }
    if (!liesInsideDocroot(fileName)) {
        qCWarning(lcHttp, "StaticFileController: file %s lies outside the docroot", qPrintable(fileName));
        response.setStatus(403, "forbidden");
        response.write("403 forbidden", true);
        return;
    }

    QFile file(fileName);
    const bool opened = file.open(QFile::ReadOnly);
    qCDebug(lcHttp, "StaticFileController: Open file %s", qPrintable(fileName));
    if (!opened) {
        if (file.exists()) {
            qCWarning(lcHttp, "StaticFileController: Cannot open existing file %s for reading", qPrintable(fileName));
            response.setStatus(403, "forbidden");
            response.write("403 forbidden", true);
        } else {
            response.setStatus(404, "not found");
            response.write("404 not found", true);
        }
        return;
    }

    setContentType(path, response);
    setCacheControl(response);
    if (file.size() <= m_maxCachedFileSize) {
        auto entry = std::make_unique<CacheEntry>();
        while (!file.atEnd() && file.error() == QFile::NoError) {
            const QByteArray block = file.read(blockSize);
            if (block.isEmpty())
                break;
            response.write(block);
            entry->document.append(block);
        }
        // A read error leaves a truncated document, which must not be served again from memory.
        if (file.error() == QFile::NoError) {
            entry->created = now;
            entry->filename = path;
            const int cost = entry->document.size();
            MutexLocker locker(&m_mutex);
            m_cache.insert(key, entry.release(), cost);
        }
    } else {
        // Large files are streamed; reading stops once the client has gone.
        while (!file.atEnd() && file.error() == QFile::NoError && response.isConnected()) {
            const QByteArray block = file.read(blockSize);
            if (block.isEmpty())
                break;
            response.write(block);
        }
    }
    file.close();
}

// The canonical name resolves every symbolic link, so a link below the document root that
// points elsewhere is caught as well as a path that does not begin with "/".
bool StaticFileController::liesInsideDocroot(const QString &fileName) const
{
    if (isResourcePath(m_docroot))
        return true;
    const QString canonical = QFileInfo(fileName).canonicalFilePath();
    if (canonical.isEmpty())
        return true; // does not exist: the open fails and gives 404
    const QString root = QFileInfo(m_docroot).canonicalFilePath();
    if (root.isEmpty())
        return false;
    return canonical == root || canonical.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

void StaticFileController::setCacheControl(HttpResponse &response) const
{
    response.setHeader("Cache-Control", "max-age=" + QByteArray::number(m_maxAge / 1000));
}

void StaticFileController::setContentType(const QByteArray &fileName, HttpResponse &response) const
{
    const QByteArray type = mimeTypeOf(fileName, m_encoding.toLatin1());
    if (!type.isEmpty())
        response.setHeader("Content-Type", type);
    else
        qCDebug(lcHttp, "StaticFileController: unknown MIME type for filename '%s'", fileName.constData());
}

} // namespace tarsel
