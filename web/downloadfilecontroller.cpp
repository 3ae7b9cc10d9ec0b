#include "downloadfilecontroller.h"

#include "core/logging.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/mimetypes.h"
#include "web/ziparchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

#include <sys/stat.h>

namespace {

// Files are sent in blocks of this size: large blocks keep the system calls per byte few, which
// makes downloads from a fast disk over a fast network markedly quicker than small ones.
constexpr qint64 blockSize = 1048576;
const QByteArray routePrefix = QByteArrayLiteral("/download");

// The name inside a quoted-string: quotes and backslashes escaped, control characters (which
// would break the header) replaced.
QByteArray quotedName(const QString &name)
{
    QByteArray quoted;
    for (const char c : name.toUtf8()) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += (uchar(c) < 0x20 || c == 0x7f) ? '_' : c;
    }
    return quoted;
}

// Strong, and new whenever the file is replaced or written: size, modification time to the
// nanosecond and inode.
QByteArray entityTag(const struct stat &status)
{
    const qint64 modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return '"' + QByteArray::number(qint64(status.st_size), 16) + '-' + QByteArray::number(modifiedNs, 16) + '-'
        + QByteArray::number(quint64(status.st_ino), 16) + '"';
}

bool needsExtendedName(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f || c == QLatin1Char('"') || c == QLatin1Char('\\'))
            return true;
    }
    return false;
}

} // namespace

const QString DownloadFileController::archiveName = QStringLiteral("共享的文件.zip");

DownloadFileController::DownloadFileController(
    QSettings *settings, const QMap<QString, QString> &shared, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , sharedFiles(shared)
{
    maxAge = settings->value(QStringLiteral("maxAge"), QStringLiteral("60000")).toInt();
    encoding = settings->value(QStringLiteral("encoding"), QStringLiteral("UTF-8")).toString();
    docroot = settings->value(QStringLiteral("path"), QStringLiteral(".")).toString();
    if (!(docroot.startsWith(QLatin1String(":/")) || docroot.startsWith(QLatin1String("qrc://")))
        && QDir::isRelativePath(docroot)) {
        const QFileInfo configFile(settings->fileName());
        docroot = QFileInfo(configFile.absolutePath(), docroot).absoluteFilePath();
    }
    qCDebug(lcWeb, "DownloadFileController: docroot=%s, encoding=%s, maxAge=%i", qPrintable(docroot),
        qPrintable(encoding), maxAge);
    maxCachedFileSize = settings->value(QStringLiteral("maxCachedFileSize"), QStringLiteral("65536")).toInt();
    cache.setMaxCost(settings->value(QStringLiteral("cacheSize"), QStringLiteral("1000000")).toInt());
    cacheTimeout = settings->value(QStringLiteral("cacheTime"), QStringLiteral("60000")).toInt();
    qCDebug(lcWeb, "DownloadFileController: cache timeout=%i, size=%li", cacheTimeout, long(cache.maxCost()));
}

void DownloadFileController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    QByteArray path = request.path();
    if (path.startsWith(routePrefix))
        path.remove(0, routePrefix.size());
    const QString key = QString::fromUtf8(path);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();

    CacheEntry cached;
    bool hit = false;
    {
        QMutexLocker lock(&mutex);
        if (CacheEntry *entry = cache.object(key)) {
            if (cacheTimeout == 0 || now - cacheTimeout < entry->created) {
                cached = *entry;
                hit = true;
            }
        }
    }
    if (hit) {
        qCDebug(lcWeb, "DownloadFileController: Cache hit for %s", path.constData());
        sendCached(cached, request, response);
        return;
    }
    qCDebug(lcWeb, "DownloadFileController: Cache miss for %s", path.constData());

    if (path.contains("/..")) {
        qCWarning(lcWeb, "DownloadFileController: detected forbidden characters in path %s", path.constData());
        response.setStatus(403, "forbidden");
        response.write("403 forbidden", true);
        return;
    }

    // Only the published names exist below "/download/"; nothing is looked up on disk by a path
    // the browser made up.
    const QString name = key.startsWith(QLatin1Char('/')) ? key.mid(1) : QString();
    const QString filePath = sharedFiles.value(name);
    if (name.isEmpty() || filePath.isEmpty()) {
        response.setStatus(404, "not found");
        response.write("404 not found", true);
        return;
    }
    sendFile(name, filePath, key, now, request, response);
}

bool DownloadFileController::startAnswer(const QString &name, qint64 size, const QByteArray &etag,
    const QDateTime &modified, tarsel::HttpRequest &request, tarsel::HttpResponse &response,
    tarsel::ByteRange *range) const
{
    response.setHeader("Accept-Ranges", "bytes");
    response.setHeader("ETag", etag);
    response.setHeader("Last-Modified", tarsel::httpDate(modified));
    *range = tarsel::ByteRange::forRequest(request, size, etag, modified);
    if (range->kind == tarsel::ByteRange::Unsatisfiable) {
        response.setStatus(416, "Range Not Satisfiable");
        response.setHeader("Content-Range", range->contentRange(size));
        response.write(QByteArray(), true);
        return false;
    }
    setContentType(name, response);
    response.setHeader("Cache-Control", "max-age=" + QByteArray::number(maxAge / 1000));
    if (range->kind == tarsel::ByteRange::Partial) {
        response.setStatus(206, "Partial Content");
        response.setHeader("Content-Range", range->contentRange(size));
    } else {
        range->first = 0;
        range->last = size - 1;
    }
    response.setHeader("Content-Length", range->length());
    return true;
}

void DownloadFileController::sendCached(
    const CacheEntry &entry, tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const QString name = QString::fromUtf8(entry.filename);
    tarsel::ByteRange range;
    if (!startAnswer(name, entry.document.size(), entry.etag, entry.modified, request, response, &range))
        return;
    if (response.headersOnly())
        return;
    if (response.write(entry.document.mid(int(range.first), int(range.length())), true)
        && range.last == entry.document.size() - 1)
        emit fileSent(name, entry.document.size());
}

void DownloadFileController::sendFile(const QString &name, const QString &path, const QString &cacheKey, qint64 now,
    tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly);
    qCDebug(lcWeb, "DownloadFileController: Open file %s", qPrintable(file.fileName()));
    struct stat status;
    if (!opened || ::fstat(file.handle(), &status) != 0 || !S_ISREG(status.st_mode)) {
        if (file.exists()) {
            qCWarning(
                lcWeb, "DownloadFileController: cannot open existing file %s for reading", qPrintable(file.fileName()));
            response.setStatus(403, "forbidden");
            response.write("403 forbidden", true);
        } else {
            response.setStatus(404, "not found");
            response.write("404 not found", true);
        }
        return;
    }

    // The length lets the browser show the progress of a long download and keeps the connection
    // for the next request. A file that grows meanwhile is sent as it was; one that shrinks ends
    // the connection early.
    const qint64 size = status.st_size;
    const QByteArray etag = entityTag(status);
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(status.st_mtim.tv_sec, Qt::UTC);
    tarsel::ByteRange range;
    if (!startAnswer(name, size, etag, modified, request, response, &range) || response.headersOnly())
        return;
    if (range.first > 0 && !file.seek(range.first))
        return;

    const bool cacheable = size <= maxCachedFileSize && range.length() == size;
    auto entry = cacheable ? new CacheEntry : nullptr;
    qint64 sent = 0;
    // A client that has gone (a cancelled download resets the connection) gets nothing more:
    // the rest of the file is not read at all.
    while (sent < range.length() && response.isConnected()) {
        const QByteArray block = file.read(qMin(blockSize, range.length() - sent));
        if (block.isEmpty())
            break;
        if (!response.write(block))
            break;
        sent += block.size();
        if (entry)
            entry->document.append(block);
    }
    file.close();
    if (sent == range.length() && range.last == size - 1)
        emit fileSent(name, size);

    if (entry) {
        if (sent < size) {
            // A short read is not worth remembering.
            delete entry;
            return;
        }
        entry->created = now;
        entry->filename = name.toUtf8();
        entry->etag = etag;
        entry->modified = modified;
        QMutexLocker lock(&mutex);
        cache.insert(cacheKey, entry, entry->document.size());
    }
}

void DownloadFileController::serveArchive(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    Q_UNUSED(request)
    QList<ZipArchive::Member> members;
    for (auto it = sharedFiles.cbegin(); it != sharedFiles.cend(); ++it)
        members.append({ it.key(), it.value() });
    const ZipArchive archive(members);
    if (archive.count() == 0) {
        response.setStatus(404, "not found");
        response.write("404 not found", true);
        return;
    }
    setContentType(archiveName, response);
    // What is shared may change with every share: never taken from a cache.
    response.setHeader("Cache-Control", "no-store");
    response.setHeader("Content-Length", archive.size());
    if (response.headersOnly())
        return;
    const bool complete = archive.write(
        [&response](const QByteArray &bytes) { return response.isConnected() && response.write(bytes); });
    if (complete)
        emit fileSent(archiveName, archive.size());
    else if (response.isConnected())
        qCWarning(lcWeb, "DownloadFileController: a shared file changed while it was archived; download ended early");
}

void DownloadFileController::setContentType(const QString &fileName, tarsel::HttpResponse &response) const
{
    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    QByteArray disposition = "attachment; filename=\"" + quotedName(name) + '"';
    // Browsers take the exact name, spaces, semicolons and non-ASCII characters included, from
    // the extended form.
    if (needsExtendedName(name))
        disposition += "; filename*=UTF-8''" + QUrl::toPercentEncoding(name);
    response.setHeader("Content-Disposition", disposition);

    const QByteArray type = tarsel::mimeTypeOf(name.toUtf8(), encoding.toLatin1());
    if (!type.isEmpty())
        response.setHeader("Content-Type", type);
    else
        qCDebug(lcWeb, "DownloadFileController: unknown MIME type for filename '%s'", qPrintable(name));
}
