#pragma once

#include "httpserver/httprequesthandler.h"

class HostChunkMap;
class UploadEvents;

namespace tarsel {
class TemplateCache;
}

// "/hugefile": the upload page (the same page as "/file", for old links) and the chunked upload
// protocol. "begin" starts an upload, each chunk must carry the next index (0, 1, 2, ...) and is
// appended to the upload's partial file, "finish" moves the file to its name in the download
// folder (never replacing a file), "terminate" abandons it. A chunk whose fields come before its
// data, as the page sends them, is written into the partial file while it arrives. A chunk
// beyond the upload's limits (hostchunk.h) is refused; an upload without data for a long time is
// dropped by the request mapper.
//
// A request that names the file ("filename") and its size in bytes ("filesize") belongs to the
// resumable upload of that file in the receive session, so that one client can run several
// uploads and continue one after a reload: "status" answers how much of it the computer holds
// ({"ok":true,"received":bytes,"next":index}), and "finish" takes it only when it is complete.
// Requests without "filesize" belong to the one upload of the client's address, as before.
class HugeFileUploadController : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    // sessionKey is the key of the receive session the request came with.
    HugeFileUploadController(tarsel::TemplateCache *templateCache, HostChunkMap *hostChunks, UploadEvents *events,
        const QByteArray &sessionKey, QObject *parent = nullptr);

    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    QIODevice *uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName) override;

    // The key of the upload a request belongs to in hostChunks: the client's address, or the
    // session, size and name of a resumable upload. Empty for a resumable upload with an unusable
    // name or size.
    static QString uploadKey(const tarsel::HttpRequest &request, const QByteArray &sessionKey);

private:
    void begin(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void status(const QString &key, tarsel::HttpResponse &response);
    void finish(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void terminate(const QString &key, tarsel::HttpResponse &response);
    void receiveChunk(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    void appendChunk(const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response);

    tarsel::TemplateCache *templateCache;
    HostChunkMap *hostChunks;
    UploadEvents *events;
    QByteArray sessionKey;
};
