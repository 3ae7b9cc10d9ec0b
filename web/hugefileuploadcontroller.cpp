#include "hugefileuploadcontroller.h"

#include "app/settings/settings.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/hostchunk.h"
#include "web/hostchunkmap.h"
#include "web/htmlpage.h"
#include "web/uploadsupport.h"

#include <QTemporaryFile>

namespace {

const QString beginMessage = QStringLiteral("大文件传输初始化成功！");
const QString noDataMessage = QStringLiteral("读取上传的文件失败！");
const QString chunkOpenMessage = QStringLiteral("保存块数据失败，文件无法打开，请检查是否具有目录权限！");
const QString chunkWriteMessage = QStringLiteral("保存块数据失败，写入文件出错，请检查磁盘空间！");
const QString noUploadMessage = QStringLiteral("没有正在进行的大文件传输，请重新开始上传！");
const QString wrongIndexMessage = QStringLiteral("文件块序号错误：收到%1，应为%2！");
const QString savedMessage = QStringLiteral("文件已保存在%1%2");
const QString joinFailedMessage = QStringLiteral("文件块合并失败，文件无法打开，请检查是否具有目录权限！");
const QString badNameMessage = QStringLiteral("文件块合并失败，文件名无效！");
const QString terminatedMessage = QStringLiteral("删除失败的任务成功！");

} // namespace

HugeFileUploadController::HugeFileUploadController(
    tarsel::TemplateCache *templates, HostChunkMap *chunkMap, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
    , hostChunks(chunkMap)
{
}

void HugeFileUploadController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("uploadhuge"), request, response);
    if (request.parameter("action") != "show") {
        response.write(page.toUtf8(), true);
        return;
    }

    const QString key = HostChunkMap::key(request.peerAddress());
    const QString folder = Settings::downloadPath();

    if (request.parameter("begin") == "begin") {
        QMutexLocker lock(&hostChunks->mutex);
        // A new begin discards the client's previous upload and its partial file.
        delete hostChunks->hosts.take(key);
        auto host = new HostChunk;
        if (!host->open(folder)) {
            delete host;
            upload::answer(response, false, chunkOpenMessage);
            return;
        }
        hostChunks->hosts.insert(key, host);
        upload::answer(response, true, beginMessage);
        return;
    }

    const QByteArray finish = request.parameter("finish");
    if (finish == "finish") {
        const QString name = upload::confinedFileName(QString::fromUtf8(request.parameter("filename")));
        QMutexLocker lock(&hostChunks->mutex);
        HostChunk *host = hostChunks->hosts.take(key);
        if (!host) {
            upload::answer(response, false, noUploadMessage);
            return;
        }
        if (name.isEmpty()) {
            delete host;
            upload::answer(response, false, badNameMessage);
            return;
        }
        const QString written = host->finish(folder, name);
        delete host;
        lock.unlock();
        if (written.isEmpty()) {
            upload::answer(response, false, joinFailedMessage);
            return;
        }
        upload::openFolder(folder);
        upload::answer(response, true, savedMessage.arg(written, QStringLiteral("！")));
        return;
    }
    if (finish == "terminate") {
        QMutexLocker lock(&hostChunks->mutex);
        delete hostChunks->hosts.take(key);
        upload::answer(response, true, terminatedMessage);
        return;
    }

    QTemporaryFile *data = request.uploadedFile("data");
    if (!data) {
        upload::answer(response, false, noDataMessage);
        return;
    }
    const QString name = QString::fromUtf8(request.parameter("filename"));
    bool isNumber = false;
    const quint32 index = request.parameter("index").toUInt(&isNumber);

    QMutexLocker lock(&hostChunks->mutex);
    HostChunk *host = hostChunks->hosts.value(key);
    if (!host) {
        upload::answer(response, false, noUploadMessage);
        return;
    }
    // Chunks are appended in arrival order, so only the next one in sequence is accepted.
    if (!isNumber || index != host->nextIndex()) {
        upload::answer(response, false,
            wrongIndexMessage.arg(QString::fromUtf8(request.parameter("index")), QString::number(host->nextIndex())));
        return;
    }
    if (!host->append(index, name, *data)) {
        upload::answer(response, false, chunkWriteMessage);
        return;
    }
    upload::answer(response, true);
}
