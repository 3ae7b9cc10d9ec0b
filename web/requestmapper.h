#pragma once

#include "httpserver/httprequesthandler.h"
#include "web/accesskeys.h"
#include "web/uploadevents.h"

#include <QMutex>

#include <memory>

class DownloadFileController;
class ChunkedUploadMap;
class TextRate;

namespace tarsel {
class HttpCookie;
class StaticFileController;
class TemplateCache;
} // namespace tarsel

// Receives every complete request and routes it by its decoded path: "/file", "/hugefile",
// "/text" (this path alone: a text for the receive session), "/static", "/download", "/archive" (this path alone: all shared files as one ZIP), "/list",
// "/s/<key>", "/r/<key>", in this order, the first prefix that matches wins; anything else gets
// the not-found page. Runs in the handler threads, several
// requests at once; its own thread drops stalled chunked uploads from time to time.
//
// Only the static assets and the not-found page are public. The share's routes ("/s/<key>",
// "/list", "/download", "/archive") need the share's key, the upload routes ("/r/<key>", "/file",
// "/hugefile", "/text") the key of a live receive session: in the path of the link, as the parameter
// "key", or in the cookie that a keyed answer sets. Everything else gets the "denied" page
// with 403, before any controller sees the request, and before its body is read. So does a
// request that a browser sent from a page of another origin (another port of the same computer
// included) with the key from the cookie, or one from such a page that would change anything.
class RequestMapper : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    // The cookies that carry the keys after the link was opened, one per kind of key, so a
    // browser may hold both at once.
    static const QByteArray shareCookieName;
    static const QByteArray receiveCookieName;

    explicit RequestMapper(QObject *parent = nullptr);
    ~RequestMapper() override;

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    // Decides on the key and the origin from the request line and headers: a request that would
    // be refused is refused before its body.
    bool acceptsBody(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    // Chunks of "/hugefile" are written where they belong while they arrive; the file parts of
    // requests without a receive key are dropped as they arrive.
    QIODevice *uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName) override;
    // A chunk sent as the body itself goes the same way (from the socket to the partial file by
    // the kernel where it can); one that cannot be taken now waits in a temporary file for its
    // answer.
    QIODevice *bodyDevice(const tarsel::HttpRequest &request) override;

    // Takes ownership of controller (which must have no parent) in place of the current one.
    // Requests already inside the previous controller finish with it; it is destroyed when the
    // last of them is done.
    void setDownloadController(DownloadFileController *controller);

    // Ends the receive session of key and stops the chunked uploads begun in it (their partial
    // files go with them).
    void endReceiving(const QByteArray &key);

    UploadEvents *events() { return &uploadEvents; }
    AccessKeys *accessKeys() { return &keys; }

private:
    void serveChunked(tarsel::HttpRequest &request, tarsel::HttpResponse &response, const QByteArray &key);
    // The receive key of an upload request that may put data here, or null.
    QByteArray admittedUploadKey(const tarsel::HttpRequest &request, bool *chunked);
    void serveDownload(tarsel::HttpRequest &request, tarsel::HttpResponse &response, bool archive);
    void refuse(tarsel::HttpRequest &request, tarsel::HttpResponse &response);

    tarsel::TemplateCache *templateCache;
    tarsel::StaticFileController *staticFileController;
    std::shared_ptr<DownloadFileController> downloadController;
    // Guards the downloadController pointer only, never a request.
    QMutex downloadControllerMutex;
    ChunkedUploadMap *chunkedUploads;
    TextRate *textRate;
    UploadEvents uploadEvents;
    AccessKeys keys;
};
