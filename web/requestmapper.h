#pragma once

#include "httpserver/httprequesthandler.h"
#include "web/uploadevents.h"

#include <QMutex>

#include <memory>

class DownloadFileController;
class HostChunkMap;

namespace tarsel {
class StaticFileController;
class TemplateCache;
} // namespace tarsel

// Receives every complete request and routes it by its decoded path: "/file", "/hugefile",
// "/static", "/download", "/list", in this order, the first prefix that matches wins; anything
// else gets the not-found page. Runs in the handler threads, several requests at once; its own
// thread drops stalled chunked uploads from time to time.
class RequestMapper : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    explicit RequestMapper(QObject *parent = nullptr);
    ~RequestMapper() override;

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    // Chunks of "/hugefile" are written where they belong while they arrive.
    QIODevice *uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName) override;

    // Takes ownership of controller (which must have no parent) in place of the current one.
    // Requests already inside the previous controller finish with it; it is destroyed when the
    // last of them is done.
    void setDownloadController(DownloadFileController *controller);

    UploadEvents *events() { return &uploadEvents; }

private:
    tarsel::TemplateCache *templateCache;
    tarsel::StaticFileController *staticFileController;
    std::shared_ptr<DownloadFileController> downloadController;
    // Guards the downloadController pointer only, never a request.
    QMutex downloadControllerMutex;
    HostChunkMap *hostChunks;
    UploadEvents uploadEvents;
};
