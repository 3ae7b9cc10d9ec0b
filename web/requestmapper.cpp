#include "requestmapper.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/staticfilecontroller.h"
#include "httpserver/templatecache.h"
#include "web/downloadfilecontroller.h"
#include "web/filelistpagecontroller.h"
#include "web/fileuploadcontroller.h"
#include "web/hostchunkmap.h"
#include "web/hugefileuploadcontroller.h"
#include "web/notfoundcontroller.h"
#include "web/websettings.h"

#include <QTimer>

namespace {

// How often the uploads are checked for stalling: an upload goes at most this much later than
// its time limit.
constexpr int stalledUploadCheckIntervalMs = 30000;

} // namespace

RequestMapper::RequestMapper(QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(new tarsel::TemplateCache(webSettings(QStringLiteral("templates"), this), this))
    , staticFileController(new tarsel::StaticFileController(webSettings(QStringLiteral("static"), this), this))
    , hostChunks(new HostChunkMap)
{
    auto *stalledUploadCheck = new QTimer(this);
    connect(stalledUploadCheck, &QTimer::timeout, this, [this] { hostChunks->dropStalled(HostChunk::clockMs()); });
    stalledUploadCheck->start(stalledUploadCheckIntervalMs);
}

RequestMapper::~RequestMapper()
{
    // Removes the partial files of chunked uploads nobody finished.
    delete hostChunks;
}

void RequestMapper::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const QByteArray path = request.path();
    if (path.startsWith("/file")) {
        FileUploadController(templateCache, &uploadEvents).service(request, response);
    } else if (path.startsWith("/hugefile")) {
        HugeFileUploadController(templateCache, hostChunks, &uploadEvents).service(request, response);
    } else if (path.startsWith("/static")) {
        staticFileController->service(request, response);
    } else if (path.startsWith("/download")) {
        std::shared_ptr<DownloadFileController> controller;
        {
            QMutexLocker lock(&downloadControllerMutex);
            controller = downloadController;
        }
        if (controller) {
            controller->service(request, response);
        } else {
            response.setStatus(404, "not found");
            response.write("404 not found", true);
        }
    } else if (path.startsWith("/list")) {
        FileListPageController(templateCache).service(request, response);
    } else {
        NotFoundController(templateCache).service(request, response);
    }
}

QIODevice *RequestMapper::uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName)
{
    // The same prefix as in service(); "/file" is tried first there, but no "/hugefile" path
    // begins with it.
    if (request.path().startsWith("/hugefile"))
        return HugeFileUploadController(templateCache, hostChunks, &uploadEvents).uploadDevice(request, fieldName);
    return nullptr;
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
