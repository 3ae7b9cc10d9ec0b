#include "hugefileuploadcontroller.h"

#include "core/settings.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/chunkedupload.h"
#include "web/chunkeduploadmap.h"
#include "web/chunkwriter.h"
#include "web/htmlpage.h"
#include "web/uploadevents.h"
#include "web/uploadsupport.h"

#include <QTemporaryFile>

namespace {

const char *const beginMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "大文件传输初始化成功！");
const char *const noDataMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "读取上传的文件失败！");
const char *const chunkOpenMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "保存块数据失败，文件无法打开，请检查是否具有目录权限！");
const char *const chunkWriteMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "保存块数据失败，写入文件出错，请检查磁盘空间！");
const char *const noUploadMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "没有正在进行的大文件传输，请重新开始上传！");
const char *const busyMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "上一个文件块仍在接收中，请等它完成后再试！");
const char *const wrongIndexMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件块序号错误：收到%1，应为%2！");
const char *const savedMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件已保存在%1%2");
const char *const joinFailedMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件块合并失败，文件无法打开，请检查是否具有目录权限！");
const char *const badNameMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件块合并失败，文件名无效！");
const char *const terminatedMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "删除失败的任务成功！");
const char *const tooManyUploadsMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "同时进行的大文件传输过多，请稍后再试！");
const char *const tooLargeMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "保存块数据失败，文件超出了上传大小限制！");
const char *const badUploadMessage = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件名或文件大小无效！");
const char *const incompleteMessage
    = QT_TRANSLATE_NOOP("HugeFileUploadController", "文件尚未传完：已收到 %1 字节，共 %2 字节！");

QJsonObject refusal(const QString &message)
{
    return upload::answerObject(false, message);
}

QJsonObject success(const QString &message = QString())
{
    return upload::answerObject(true, message);
}

} // namespace

HugeFileUploadController::HugeFileUploadController(
    tarsel::TemplateCache *templates, ChunkedUploadMap *uploadMap, UploadEvents *uploadEvents, QObject *parent)
    : QObject(parent)
    , templateCache(templates)
    , chunkedUploads(uploadMap)
    , events(uploadEvents)
{
}

void HugeFileUploadController::service(
    const ChunkedUploadRequest &call, tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // The one upload page serves old links to the chunked page too.
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("upload"), request, response);
    if (call.action == ChunkedUploadRequest::Action::Page) {
        response.write(page.toUtf8(), true);
        return;
    }

    QJsonObject answer;
    if (call.uploadKey.isEmpty()) {
        answer = refusal(tr(badUploadMessage));
    } else {
        switch (call.action) {
        case ChunkedUploadRequest::Action::Begin:
            answer = begin(call);
            break;
        case ChunkedUploadRequest::Action::Status:
            answer = status(call);
            break;
        case ChunkedUploadRequest::Action::Finish:
            answer = finish(call);
            break;
        case ChunkedUploadRequest::Action::Terminate:
            answer = terminate(call);
            break;
        case ChunkedUploadRequest::Action::Chunk:
        case ChunkedUploadRequest::Action::Page: {
            // The data came as the body itself or as the multipart field "data", written where it
            // belongs or waiting in a temporary file.
            QIODevice *body = request.bodyDevice();
            if (auto *writer = qobject_cast<ChunkWriter *>(body ? body : request.uploadedDevice("data"))) {
                answer = receiveChunk(call, writer);
            } else if (body) {
                body->seek(0);
                answer = appendChunk(call, body);
            } else {
                answer = appendChunk(call, request.uploadedFile("data"));
            }
            break;
        }
        }
    }
    upload::answer(response, answer);
}

// Only a chunk that will be accepted, with its fields before its data, is written into the
// partial file as it arrives; every other request takes the ordinary way through a temporary
// file and gets its answer from service().
QIODevice *HugeFileUploadController::chunkDevice(const ChunkedUploadRequest &call)
{
    if (call.action != ChunkedUploadRequest::Action::Chunk || !call.hasIndex || call.uploadKey.isEmpty())
        return nullptr;
    bool busy = false;
    UploadClaim host = chunkedUploads->claim(call.uploadKey, &busy);
    if (!host || call.index != host->nextIndex())
        return nullptr;
    return new ChunkWriter(std::move(host), call.index);
}

QJsonObject HugeFileUploadController::begin(const ChunkedUploadRequest &call)
{
    // A new begin discards the previous upload of the key and its partial file, even if the new
    // one cannot start.
    chunkedUploads->take(call.uploadKey);
    chunkedUploads->dropStalled(ChunkedUpload::clockMs());
    // A resumable upload can hold no more than the size it announced.
    if (call.announcedSize > maxPartialBytesPerClient)
        return refusal(tr(tooLargeMessage));
    auto host
        = std::make_shared<ChunkedUpload>(call.announcedSize >= 0 ? call.announcedSize : maxPartialBytesPerClient);
    if (!host->open(Settings::downloadPath()))
        return refusal(tr(chunkOpenMessage));
    // Refused, the new upload goes at once with its partial file.
    if (!chunkedUploads->insert(call.uploadKey, std::move(host)))
        return refusal(tr(tooManyUploadsMessage));
    return success(tr(beginMessage));
}

QJsonObject HugeFileUploadController::status(const ChunkedUploadRequest &call)
{
    bool busy = false;
    const UploadClaim host = chunkedUploads->claim(call.uploadKey, &busy);
    if (busy)
        return refusal(tr(busyMessage));
    QJsonObject held { { QStringLiteral("ok"), true }, { QStringLiteral("received"), 0 },
        { QStringLiteral("next"), 0 } };
    if (host) {
        // A client asking is alive: its upload is not stalled.
        host->touch();
        held.insert(QStringLiteral("received"), host->size());
        held.insert(QStringLiteral("next"), qint64(host->nextIndex()));
    }
    return held;
}

QJsonObject HugeFileUploadController::finish(const ChunkedUploadRequest &call)
{
    const QString name = upload::confinedFileName(call.fileName);
    bool busy = false;
    const bool resumable = call.announcedSize >= 0;
    // A resumable upload that lacks bytes stays to be continued; any other failed finish
    // abandons the upload, so it is taken out of the map whatever comes of it.
    UploadClaim host = resumable ? chunkedUploads->claim(call.uploadKey, &busy)
                                 : chunkedUploads->claimAndTake(call.uploadKey, &busy);
    if (!host)
        return refusal(tr(busy ? busyMessage : noUploadMessage));
    if (resumable) {
        const qint64 received = host->size();
        if (received != call.announcedSize)
            return refusal(tr(incompleteMessage).arg(QString::number(received), QString::number(call.announcedSize)));
        chunkedUploads->take(call.uploadKey);
    }
    if (name.isEmpty()) {
        // Abandoned: its partial file is gone before the client hears of it.
        host.reset();
        return refusal(tr(badNameMessage));
    }
    const QString written = host->finish(Settings::downloadPath(), name);
    if (written.isEmpty())
        return refusal(tr(joinFailedMessage));
    emit events->fileSaved(written);
    return success(tr(savedMessage).arg(upload::shownPlace(written), tr("！")));
}

QJsonObject HugeFileUploadController::terminate(const ChunkedUploadRequest &call)
{
    // A chunk still arriving keeps the upload until it is done; its answer then says that the
    // upload is gone.
    chunkedUploads->take(call.uploadKey);
    return success(tr(terminatedMessage));
}

QJsonObject HugeFileUploadController::receiveChunk(const ChunkedUploadRequest &call, ChunkWriter *writer)
{
    if (!chunkedUploads->isCurrent(call.uploadKey, writer->host())) {
        writer->discard();
        return refusal(tr(noUploadMessage));
    }
    if (!writer->commit(call.fileName))
        return refusal(writer->tooLarge() ? tr(tooLargeMessage) : tr(chunkWriteMessage));
    return success();
}

QJsonObject HugeFileUploadController::appendChunk(const ChunkedUploadRequest &call, QIODevice *data)
{
    if (!data)
        return refusal(tr(noDataMessage));
    bool busy = false;
    const UploadClaim host = chunkedUploads->claim(call.uploadKey, &busy);
    if (!host)
        return refusal(tr(busy ? busyMessage : noUploadMessage));
    // Chunks are appended in arrival order, so only the next one in sequence is accepted.
    if (!call.hasIndex || call.index != host->nextIndex())
        return refusal(
            tr(wrongIndexMessage).arg(QString::fromUtf8(call.indexText), QString::number(host->nextIndex())));
    if (!host->hasRoomFor(data->bytesAvailable()))
        return refusal(tr(tooLargeMessage));
    if (!host->append(call.index, call.fileName, *data))
        return refusal(tr(chunkWriteMessage));
    return success();
}
