#pragma once

#include "httpserver/httprequesthandler.h"

class HostChunkMap;
class UploadEvents;

namespace tarsel {
class TemplateCache;
}

// "/hugefile": the chunked upload page and its protocol. "begin" starts an upload for the
// client's address, each chunk must carry the next index (0, 1, 2, ...) and is appended to the
// upload's partial file, "finish" moves the file to its name in the download folder (never
// replacing a file), "terminate" abandons it. A chunk whose fields come before its data, as the
// page sends them, is written into the partial file while it arrives. A chunk beyond the
// upload's limits (hostchunk.h) is refused; an upload without chunks for a few minutes is
// dropped by the request mapper.
class HugeFileUploadController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    HugeFileUploadController(tarsel::TemplateCache *templateCache, HostChunkMap *hostChunks, UploadEvents *events,
        QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    QIODevice *uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName) override;

private:
    void begin(const QString &key, tarsel::HttpResponse &response);
    void finish(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void terminate(const QString &key, tarsel::HttpResponse &response);
    void receiveChunk(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void appendChunk(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);

    tarsel::TemplateCache *templateCache;
    HostChunkMap *hostChunks;
    UploadEvents *events;
};
