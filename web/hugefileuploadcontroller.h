#pragma once

#include "web/chunkeduploadrequest.h"

#include <QJsonObject>
#include <QObject>

class ChunkWriter;
class ChunkedUploadMap;
class QIODevice;
class UploadEvents;

namespace tarsel {
class HttpRequest;
class HttpResponse;
class TemplateCache;
} // namespace tarsel

// "/hugefile": the upload page (the same page as "/file", for old links) and the chunked upload
// protocol. "begin" starts an upload, each chunk must carry the next index (0, 1, 2, ...) and is
// appended to the upload's partial file, "finish" moves the file to its name in the download
// folder (never replacing a file), "terminate" abandons it. A chunk whose fields come before its
// data, as the page sends them, is written into the partial file while it arrives. A chunk
// beyond the upload's limits (chunkedupload.h) is refused; an upload without data for a long time is
// dropped by the request mapper.
//
// A request that names the file ("filename") and its size in bytes ("filesize") belongs to the
// resumable upload of that file in the receive session, so that one client can run several
// uploads and continue one after a reload: "status" answers how much of it the computer holds
// ({"ok":true,"received":bytes,"next":index}), and "finish" takes it only when it is complete.
// Requests without "filesize" belong to the one upload of the client's address, as before.
class HugeFileUploadController : public QObject
{
    Q_OBJECT

public:
    HugeFileUploadController(tarsel::TemplateCache *templateCache, ChunkedUploadMap *chunkedUploads,
        UploadEvents *events, QObject *parent = nullptr);

    // Answers the request, decoded as call.
    void service(const ChunkedUploadRequest &call, tarsel::HttpRequest &request, tarsel::HttpResponse &response);
    // The device a chunk's data is written to while it arrives, for a chunk that will be accepted
    // as far as its index and upload tell; null for every other request.
    QIODevice *chunkDevice(const ChunkedUploadRequest &call);

private:
    QJsonObject begin(const ChunkedUploadRequest &call);
    QJsonObject status(const ChunkedUploadRequest &call);
    QJsonObject finish(const ChunkedUploadRequest &call);
    QJsonObject terminate(const ChunkedUploadRequest &call);
    QJsonObject receiveChunk(const ChunkedUploadRequest &call, ChunkWriter *writer);
    QJsonObject appendChunk(const ChunkedUploadRequest &call, QIODevice *data);

    tarsel::TemplateCache *templateCache;
    ChunkedUploadMap *chunkedUploads;
    UploadEvents *events;
};
