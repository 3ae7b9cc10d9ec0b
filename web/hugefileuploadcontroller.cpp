#include "hugefileuploadcontroller.h"

#include "core/settings.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/chunkwriter.h"
#include "web/hostchunk.h"
#include "web/hostchunkmap.h"
#include "web/htmlpage.h"
#include "web/uploadevents.h"
#include "web/uploadsupport.h"

#include <QJsonObject>
#include <QScopeGuard>
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

// The size a resumable upload announced; -1 for a request of the client's one upload, -2 for an
// unusable value.
qint64 announcedSize(const tarsel::HttpRequest &request)
{
    const QByteArray text = request.parameter("filesize");
    if (text.isNull())
        return -1;
    bool isNumber = false;
    const qint64 size = text.toLongLong(&isNumber);
    return isNumber && size >= 0 ? size : -2;
}

bool isChunk(const tarsel::HttpRequest &request)
{
    const QByteArray finish = request.parameter("finish");
    return request.parameter("begin") != "begin" && request.parameter("status") != "status" && finish != "finish"
        && finish != "terminate";
}

} // namespace

HugeFileUploadController::HugeFileUploadController(tarsel::TemplateCache *templates, HostChunkMap *chunkMap,
    UploadEvents *uploadEvents, const QByteArray &session, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
    , hostChunks(chunkMap)
    , events(uploadEvents)
    , sessionKey(session)
{
}

QString HugeFileUploadController::uploadKey(const tarsel::HttpRequest &request, const QByteArray &sessionKey)
{
    const qint64 size = announcedSize(request);
    if (size == -1)
        return HostChunkMap::key(request.peerAddress());
    const QString name = upload::confinedFileName(QString::fromUtf8(request.parameter("filename")));
    if (size < 0 || name.isEmpty())
        return QString();
    // No address has a '/' in it, so the two kinds of key never meet.
    return QString::fromLatin1(sessionKey) + QLatin1Char('/') + QString::number(size) + QLatin1Char('/') + name;
}

void HugeFileUploadController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // The one upload page serves old links to the chunked page too.
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("upload"), request, response);
    if (request.parameter("action") != "show") {
        response.write(page.toUtf8(), true);
        return;
    }

    const QString key = uploadKey(request, sessionKey);
    if (key.isEmpty()) {
        upload::answer(response, false, tr(badUploadMessage));
        return;
    }
    const QByteArray finishing = request.parameter("finish");
    if (request.parameter("begin") == "begin")
        begin(key, request, response);
    else if (request.parameter("status") == "status")
        status(key, response);
    else if (finishing == "finish")
        finish(key, request, response);
    else if (finishing == "terminate")
        terminate(key, response);
    else if (qobject_cast<ChunkWriter *>(request.uploadedDevice("data")))
        receiveChunk(key, request, response);
    else
        appendChunk(key, request, response);
}

// Only a chunk that will be accepted, with its fields before its data, is written into the
// partial file as it arrives; every other request takes the ordinary way through a temporary
// file and gets its answer from service().
QIODevice *HugeFileUploadController::uploadDevice(const tarsel::HttpRequest &request, const QByteArray &fieldName)
{
    if (fieldName != "data" || request.parameter("action") != "show" || !isChunk(request))
        return nullptr;
    bool isNumber = false;
    const quint32 index = request.parameter("index").toUInt(&isNumber);
    if (!isNumber)
        return nullptr;
    const QString key = uploadKey(request, sessionKey);
    if (key.isEmpty())
        return nullptr;
    bool busy = false;
    std::shared_ptr<HostChunk> host = hostChunks->claim(key, &busy);
    if (!host)
        return nullptr;
    if (index != host->nextIndex()) {
        host->release();
        return nullptr;
    }
    return new ChunkWriter(std::move(host), index);
}

void HugeFileUploadController::begin(
    const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // A new begin discards the previous upload of the key and its partial file, even if the new
    // one cannot start.
    hostChunks->take(key);
    hostChunks->dropStalled(HostChunk::clockMs());
    // A resumable upload can hold no more than the size it announced.
    const qint64 size = announcedSize(request);
    if (size > maxPartialBytesPerClient) {
        upload::answer(response, false, tr(tooLargeMessage));
        return;
    }
    auto host = std::make_shared<HostChunk>(size >= 0 ? size : maxPartialBytesPerClient);
    if (!host->open(Settings::downloadPath())) {
        upload::answer(response, false, tr(chunkOpenMessage));
        return;
    }
    // Refused, the new upload goes at once with its partial file.
    if (!hostChunks->insert(key, std::move(host))) {
        upload::answer(response, false, tr(tooManyUploadsMessage));
        return;
    }
    upload::answer(response, true, tr(beginMessage));
}

void HugeFileUploadController::status(const QString &key, tarsel::HttpResponse &response)
{
    bool busy = false;
    const std::shared_ptr<HostChunk> host = hostChunks->claim(key, &busy);
    if (busy) {
        upload::answer(response, false, tr(busyMessage));
        return;
    }
    QJsonObject held { { QStringLiteral("ok"), true }, { QStringLiteral("received"), 0 },
        { QStringLiteral("next"), 0 } };
    if (host) {
        // A client asking is alive: its upload is not stalled.
        host->touch();
        held.insert(QStringLiteral("received"), host->size());
        held.insert(QStringLiteral("next"), qint64(host->nextIndex()));
        host->release();
    }
    upload::answer(response, held);
}

void HugeFileUploadController::finish(
    const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const QString name = upload::confinedFileName(QString::fromUtf8(request.parameter("filename")));
    bool busy = false;
    const qint64 size = announcedSize(request);
    // A resumable upload that lacks bytes stays to be continued; any other failed finish
    // abandons the upload, so it is taken out of the map whatever comes of it.
    std::shared_ptr<HostChunk> host
        = size >= 0 ? hostChunks->claim(key, &busy) : hostChunks->claimAndTake(key, &busy);
    if (!host) {
        upload::answer(response, false, tr(busy ? busyMessage : noUploadMessage));
        return;
    }
    if (size >= 0) {
        const qint64 received = host->size();
        if (received != size) {
            host->release();
            upload::answer(response, false, tr(incompleteMessage).arg(QString::number(received), QString::number(size)));
            return;
        }
        hostChunks->take(key);
    }
    if (name.isEmpty()) {
        // Abandoned: its partial file is gone before the client hears of it.
        host.reset();
        upload::answer(response, false, tr(badNameMessage));
        return;
    }
    const QString folder = Settings::downloadPath();
    const QString written = host->finish(folder, name);
    if (written.isEmpty()) {
        upload::answer(response, false, tr(joinFailedMessage));
        return;
    }
    emit events->fileSaved(written);
    upload::answer(response, true, tr(savedMessage).arg(upload::shownPlace(written), tr("！")));
}

void HugeFileUploadController::terminate(const QString &key, tarsel::HttpResponse &response)
{
    // A chunk still arriving keeps the upload until it is done; its answer then says that the
    // upload is gone.
    hostChunks->take(key);
    upload::answer(response, true, tr(terminatedMessage));
}

void HugeFileUploadController::receiveChunk(
    const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    auto *writer = qobject_cast<ChunkWriter *>(request.uploadedDevice("data"));
    if (!hostChunks->isCurrent(key, writer->host())) {
        writer->discard();
        upload::answer(response, false, tr(noUploadMessage));
        return;
    }
    if (!writer->commit(QString::fromUtf8(request.parameter("filename")))) {
        upload::answer(response, false, writer->tooLarge() ? tr(tooLargeMessage) : tr(chunkWriteMessage));
        return;
    }
    upload::answer(response, true);
}

void HugeFileUploadController::appendChunk(
    const QString &key, const tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    QTemporaryFile *data = request.uploadedFile("data");
    if (!data) {
        upload::answer(response, false, tr(noDataMessage));
        return;
    }
    bool busy = false;
    const std::shared_ptr<HostChunk> host = hostChunks->claim(key, &busy);
    if (!host) {
        upload::answer(response, false, tr(busy ? busyMessage : noUploadMessage));
        return;
    }
    const auto release = qScopeGuard([&host] { host->release(); });
    // Chunks are appended in arrival order, so only the next one in sequence is accepted.
    bool isNumber = false;
    const quint32 index = request.parameter("index").toUInt(&isNumber);
    if (!isNumber || index != host->nextIndex()) {
        upload::answer(response, false,
            tr(wrongIndexMessage)
                .arg(QString::fromUtf8(request.parameter("index")), QString::number(host->nextIndex())));
        return;
    }
    if (!host->hasRoomFor(data->bytesAvailable())) {
        upload::answer(response, false, tr(tooLargeMessage));
        return;
    }
    if (!host->append(index, QString::fromUtf8(request.parameter("filename")), *data)) {
        upload::answer(response, false, tr(chunkWriteMessage));
        return;
    }
    upload::answer(response, true);
}
