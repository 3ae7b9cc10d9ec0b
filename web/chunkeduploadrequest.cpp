#include "chunkeduploadrequest.h"

#include "httpserver/httprequest.h"
#include "web/chunkeduploadmap.h"
#include "web/uploadsupport.h"

ChunkedUploadRequest ChunkedUploadRequest::decode(const tarsel::HttpRequest &request, const QByteArray &sessionKey)
{
    ChunkedUploadRequest call;
    if (request.parameter("action") != "show")
        return call;
    const QByteArray finish = request.parameter("finish");
    if (request.parameter("begin") == "begin")
        call.action = Action::Begin;
    else if (request.parameter("status") == "status")
        call.action = Action::Status;
    else if (finish == "finish")
        call.action = Action::Finish;
    else if (finish == "terminate")
        call.action = Action::Terminate;
    else
        call.action = Action::Chunk;

    call.fileName = QString::fromUtf8(request.parameter("filename"));
    call.indexText = request.parameter("index");
    call.index = call.indexText.toUInt(&call.hasIndex);

    const QByteArray size = request.parameter("filesize");
    if (size.isNull()) {
        call.uploadKey = ChunkedUploadMap::key(request.peerAddress());
        return call;
    }
    bool isNumber = false;
    call.announcedSize = size.toLongLong(&isNumber);
    if (!isNumber || call.announcedSize < 0)
        call.announcedSize = -2;
    const QString name = upload::confinedFileName(call.fileName);
    // No address has a '/' in it, so the two kinds of key never meet.
    if (call.announcedSize >= 0 && !name.isEmpty())
        call.uploadKey = QString::fromLatin1(sessionKey) + QLatin1Char('/') + QString::number(call.announcedSize)
            + QLatin1Char('/') + name;
    return call;
}
