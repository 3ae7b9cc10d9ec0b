#include "requestmapper.h"

#include "core/settings.h"
#include "httpserver/httpcookie.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/staticfilecontroller.h"
#include "httpserver/templatecache.h"
#include "web/chunkedupload.h"
#include "web/chunkeduploadmap.h"
#include "web/chunkeduploadrequest.h"
#include "web/chunkwriter.h"
#include "web/discarddevice.h"
#include "web/downloadfilecontroller.h"
#include "web/filelistpagecontroller.h"
#include "web/fileuploadcontroller.h"
#include "web/htmlpage.h"
#include "web/hugefileuploadcontroller.h"
#include "web/notfoundcontroller.h"
#include "web/partialfileregistry.h"
#include "web/textuploadcontroller.h"
#include "web/websettings.h"

#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

const QByteArray RequestMapper::shareCookieName = QByteArrayLiteral("orvex_share");
const QByteArray RequestMapper::receiveCookieName = QByteArrayLiteral("orvex_receive");

namespace {

enum class Route { Upload, HugeUpload, Text, Static, Download, Archive, List, ShareLink, ReceiveLink, NotFound };

const QByteArray shareLinkPrefix = QByteArrayLiteral("/s/");
const QByteArray receiveLinkPrefix = QByteArrayLiteral("/r/");
const QByteArray keyParameter = QByteArrayLiteral("key");
const QByteArray archivePath = QByteArrayLiteral("/archive");

// The decoded path without the query, also while the body still arrives (the request splits the
// query off only once it is complete).
QByteArray pathOf(const tarsel::HttpRequest &request)
{
    QByteArray target = request.rawPath();
    const int questionMark = target.indexOf('?');
    if (questionMark >= 0)
        target.truncate(questionMark);
    return tarsel::HttpRequest::urlDecode(target);
}

Route routeOf(const QByteArray &path)
{
    // "/file" first: it also takes "/files" and "/file/x"; no "/hugefile" path begins with it.
    if (path.startsWith("/file"))
        return Route::Upload;
    if (path.startsWith("/hugefile"))
        return Route::HugeUpload;
    if (path == "/text")
        return Route::Text;
    if (path.startsWith("/static"))
        return Route::Static;
    if (path.startsWith("/download"))
        return Route::Download;
    if (path == archivePath)
        return Route::Archive;
    if (path.startsWith("/list"))
        return Route::List;
    if (path.startsWith(shareLinkPrefix))
        return Route::ShareLink;
    if (path.startsWith(receiveLinkPrefix))
        return Route::ReceiveLink;
    return Route::NotFound;
}

AccessKeys::Grant grantOf(Route route)
{
    return route == Route::Upload || route == Route::HugeUpload || route == Route::Text || route == Route::ReceiveLink
        ? AccessKeys::Grant::Receive
        : AccessKeys::Grant::Share;
}

struct PresentedKey
{
    QByteArray key;
    // Came with the URL (a freshly opened link), not from the cookie.
    bool fromLink = false;
};

// The value of name in a raw query. While a multipart body still arrives the request has not
// split its query off yet, so uploadDevice() reads it from the target as sent.
QByteArray queryValue(const QByteArray &target, const QByteArray &name)
{
    const int questionMark = target.indexOf('?');
    if (questionMark < 0)
        return QByteArray();
    const QList<QByteArray> parts = target.mid(questionMark + 1).split('&');
    for (const QByteArray &part : parts) {
        if (part.startsWith(name + '='))
            return tarsel::HttpRequest::urlDecode(part.mid(name.size() + 1));
    }
    return QByteArray();
}

// The cookie name, also before the request has parsed its cookies (uploadDevice()).
QByteArray cookieValue(const tarsel::HttpRequest &request, const QByteArray &name)
{
    const QByteArray parsed = request.cookie(name);
    if (!parsed.isEmpty())
        return parsed;
    const QList<QByteArray> headers = request.headers("cookie");
    for (const QByteArray &header : headers) {
        const QList<QByteArray> parts = tarsel::HttpCookie::splitAttributeList(header);
        for (const QByteArray &part : parts) {
            const int equals = part.indexOf('=');
            if (equals > 0 && part.left(equals).trimmed() == name)
                return part.mid(equals + 1).trimmed();
        }
    }
    return QByteArray();
}

// A key in the URL decides, right or wrong; only a URL without one falls back on the cookie.
PresentedKey presentedKey(const tarsel::HttpRequest &request, Route route)
{
    if (route == Route::ShareLink || route == Route::ReceiveLink) {
        QByteArray key = request.path().mid(shareLinkPrefix.size());
        const int end = key.indexOf('?');
        if (end >= 0)
            key.truncate(end);
        return { key, true };
    }
    QByteArray key = request.parameter(keyParameter);
    if (key.isEmpty())
        key = queryValue(request.rawPath(), keyParameter);
    if (!key.isEmpty())
        return { key, true };
    const QByteArray cookie = grantOf(route) == AccessKeys::Grant::Share ? RequestMapper::shareCookieName
                                                                         : RequestMapper::receiveCookieName;
    return { cookieValue(request, cookie), false };
}

// Scheme, host and port of url, the port made explicit; null for anything but an http(s) URL
// with a host.
QUrl originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    QUrl origin;
    origin.setScheme(scheme);
    origin.setHost(url.host());
    origin.setPort(url.port(scheme == QLatin1String("https") ? 443 : 80));
    return origin;
}

// Whether a browser sent the request from a page of another origin than this server: its Origin
// (or, without one, its Referer) names another host or port than the Host it was sent to, or
// its Sec-Fetch-Site says so. A SameSite cookie does not tell the ports of one computer apart,
// so without this a page served on another port would act with the key the browser holds.
// Command-line clients send none of these headers.
bool fromOtherOrigin(const tarsel::HttpRequest &request)
{
    const QByteArray site = request.header("Sec-Fetch-Site").trimmed().toLower();
    if (site == "cross-site" || site == "same-site")
        return true;
    QByteArray source = request.header("Origin").trimmed();
    if (source.isEmpty())
        source = request.header("Referer").trimmed();
    if (source.isEmpty())
        return false;
    const QUrl origin = originOf(QUrl(QString::fromUtf8(source), QUrl::StrictMode));
    if (origin.isEmpty())
        return true;
    // The Host is read with the scheme of the page, whose default port it implies.
    const QByteArray host = request.header("Host").trimmed();
    const QUrl target(origin.scheme() + QStringLiteral("://") + QString::fromUtf8(host), QUrl::StrictMode);
    if (host.isEmpty() || !target.isValid() || !target.userInfo().isEmpty() || !target.path().isEmpty()
        || target.hasQuery() || target.hasFragment())
        return true;
    return originOf(target) != origin;
}

bool changesState(const tarsel::HttpRequest &request)
{
    const QByteArray method = request.method().toUpper();
    return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

// A request is let in with a live key of its route's kind, from a page of this server or from
// no page at all. A key in the URL was not put there by another origin's page, which cannot know
// it, but what changes anything must come from this server's own pages all the same.
bool admits(
    const AccessKeys &keys, const tarsel::HttpRequest &request, AccessKeys::Grant grant, const PresentedKey &presented)
{
    if (!keys.grants(grant, presented.key))
        return false;
    if (presented.fromLink && !changesState(request))
        return true;
    return !fromOtherOrigin(request);
}

// The key goes on with the browser for the page's scripts and links, for this browsing session
// only, to this server only, and never to scripts.
tarsel::HttpCookie keyCookie(AccessKeys::Grant grant, const QByteArray &key)
{
    const QByteArray name
        = grant == AccessKeys::Grant::Share ? RequestMapper::shareCookieName : RequestMapper::receiveCookieName;
    return tarsel::HttpCookie(name, key, 0, "/", QByteArray(), QByteArray(), false, true, "Strict");
}

// How often the uploads are checked for stalling: an upload goes at most this much later than
// its time limit.
constexpr int stalledUploadCheckIntervalMs = 30000;

} // namespace

RequestMapper::RequestMapper(QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(new tarsel::TemplateCache(webSettings(QStringLiteral("templates"), this), this))
    , staticFileController(new tarsel::StaticFileController(webSettings(QStringLiteral("static"), this), this))
    , chunkedUploads(new ChunkedUploadMap)
    , textRate(new TextRate)
{
    auto *stalledUploadCheck = new QTimer(this);
    connect(
        stalledUploadCheck, &QTimer::timeout, this, [this] { chunkedUploads->dropStalled(ChunkedUpload::clockMs()); });
    stalledUploadCheck->start(stalledUploadCheckIntervalMs);
}

RequestMapper::~RequestMapper()
{
    // Removes the partial files of chunked uploads nobody finished.
    delete chunkedUploads;
    delete textRate;
}

void RequestMapper::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const Route route = routeOf(request.path());
    if (route == Route::Static) {
        staticFileController->service(request, response);
        return;
    }
    if (route == Route::NotFound) {
        NotFoundController(templateCache).service(request, response);
        return;
    }

    const AccessKeys::Grant grant = grantOf(route);
    const PresentedKey presented = presentedKey(request, route);
    if (!admits(keys, request, grant, presented)) {
        refuse(request, response);
        return;
    }
    if (presented.fromLink)
        response.setCookie(keyCookie(grant, presented.key));

    switch (route) {
    case Route::Upload:
    case Route::ReceiveLink:
        emit uploadEvents.uploadActivity();
        FileUploadController(templateCache, &uploadEvents).service(request, response);
        break;
    case Route::HugeUpload:
        serveChunked(request, response, presented.key);
        break;
    case Route::Text:
        TextUploadController(&uploadEvents, textRate, presented.key).service(request, response);
        break;
    case Route::Download:
    case Route::Archive:
        serveDownload(request, response, route == Route::Archive);
        break;
    case Route::List:
    case Route::ShareLink: {
        // The link of an older version carried the list itself; the server's own share is shown
        // otherwise.
        const QJsonArray shared = keys.sharedFiles();
        const bool ownList = route == Route::ShareLink || request.parameter("files").isEmpty();
        FileListPageController(templateCache, ownList ? &shared : nullptr, ownList ? keys.sharedText() : QString())
            .service(request, response);
        break;
    }
    case Route::Static:
    case Route::NotFound:
        break;
    }
}

// Only a body that may change something here is read: the key (from the URL or the cookie) and
// the origin are known from the headers, and every other request is answered at once. A client
// without a key cannot keep a handler thread busy by sending a large body slowly.
bool RequestMapper::acceptsBody(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const Route route = routeOf(pathOf(request));
    if (route == Route::Static || route == Route::NotFound) {
        // No public page takes a body.
        NotFoundController(templateCache).service(request, response);
        return false;
    }
    if (admits(keys, request, grantOf(route), presentedKey(request, route)))
        return true;
    refuse(request, response);
    return false;
}

QByteArray RequestMapper::admittedUploadKey(const tarsel::HttpRequest &request, bool *chunked)
{
    const Route route = routeOf(pathOf(request));
    *chunked = route == Route::HugeUpload;
    if (route != Route::Upload && route != Route::HugeUpload && route != Route::ReceiveLink)
        return QByteArray();
    const PresentedKey presented = presentedKey(request, route);
    if (!admits(keys, request, AccessKeys::Grant::Receive, presented))
        return QByteArray();
    emit uploadEvents.uploadActivity();
    return presented.key;
}

QIODevice *RequestMapper::uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName)
{
    bool chunked = false;
    const QByteArray key = admittedUploadKey(request, &chunked);
    // No other request puts data on this computer: its bytes are dropped as they arrive.
    if (key.isEmpty())
        return new DiscardDevice;
    if (fieldName != "data")
        return nullptr;
    if (!chunked) {
        // A one-request upload is written where it will stay (FileUploadController::save);
        // without a partial file there it goes to a temporary file, to be copied when complete.
        if (routeOf(pathOf(request)) != Route::Upload)
            return nullptr;
        auto *device = new PartialFileDevice;
        if (device->create(Settings::downloadPath(), QStringLiteral(".orvex-upload") + QLatin1String(partialFileSuffix)))
            return device;
        delete device;
        return nullptr;
    }
    return HugeFileUploadController(templateCache, chunkedUploads, &uploadEvents)
        .chunkDevice(ChunkedUploadRequest::decode(request, key));
}

QIODevice *RequestMapper::bodyDevice(const tarsel::HttpRequest &request)
{
    bool chunked = false;
    const QByteArray key = admittedUploadKey(request, &chunked);
    if (key.isEmpty() || !chunked)
        return nullptr;
    const ChunkedUploadRequest call = ChunkedUploadRequest::decode(request, key);
    if (call.action != ChunkedUploadRequest::Action::Chunk)
        return nullptr;
    if (QIODevice *device = HugeFileUploadController(templateCache, chunkedUploads, &uploadEvents).chunkDevice(call)) {
        static_cast<ChunkWriter *>(device)->expect(request.announcedBodySize());
        return device;
    }
    auto *waiting = new QTemporaryFile;
    if (!waiting->open()) {
        delete waiting;
        return nullptr;
    }
    return waiting;
}

void RequestMapper::serveChunked(tarsel::HttpRequest &request, tarsel::HttpResponse &response, const QByteArray &key)
{
    emit uploadEvents.uploadActivity();
    const ChunkedUploadRequest call = ChunkedUploadRequest::decode(request, key);
    HugeFileUploadController(templateCache, chunkedUploads, &uploadEvents).service(call, request, response);
    if (call.action != ChunkedUploadRequest::Action::Begin || call.uploadKey.isEmpty())
        return;
    keys.noteChunkedUpload(key, call.uploadKey);
    // The session may have ended while this upload began: it must not outlive the session.
    if (!keys.grants(AccessKeys::Grant::Receive, key))
        endReceiving(key);
}

void RequestMapper::serveDownload(tarsel::HttpRequest &request, tarsel::HttpResponse &response, bool archive)
{
    std::shared_ptr<DownloadFileController> controller;
    {
        QMutexLocker lock(&downloadControllerMutex);
        controller = downloadController;
    }
    if (controller && archive) {
        controller->serveArchive(request, response);
    } else if (controller) {
        controller->service(request, response);
    } else {
        response.setStatus(404, "not found");
        response.write("404 not found", true);
    }
}

void RequestMapper::refuse(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // One answer for a missing, wrong or expired key, so that none can be told from another.
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("denied"), request, response);
    response.setStatus(403, "forbidden");
    response.write(page.toUtf8(), true);
}

void RequestMapper::setDownloadController(DownloadFileController *controller)
{
    if (controller)
        controller->setParent(nullptr);
    std::shared_ptr<DownloadFileController> previous;
    {
        QMutexLocker lock(&downloadControllerMutex);
        previous = std::exchange(downloadController, std::shared_ptr<DownloadFileController>(controller));
    }
    // previous goes here, outside the lock, unless a request still holds it.
}

void RequestMapper::endReceiving(const QByteArray &key)
{
    const QStringList clients = keys.endReceiving(key);
    for (const QString &client : clients)
        chunkedUploads->take(client);
}
