#include "fileuploadcontroller.h"

#include "core/settings.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "httpserver/templatecache.h"
#include "web/chunkedupload.h"
#include "web/htmlpage.h"
#include "web/partialfileregistry.h"
#include "web/uploadevents.h"
#include "web/uploadsupport.h"

#include <QFile>
#include <QTemporaryFile>

namespace {

const char *const savedMessage = QT_TRANSLATE_NOOP("FileUploadController", "文件已保存在%1%2");
const char *const failedMessage = QT_TRANSLATE_NOOP("FileUploadController", "文件上传失败！");
const char *const badNameMessage = QT_TRANSLATE_NOOP("FileUploadController", "文件名无效，文件上传失败！");

} // namespace

FileUploadController::FileUploadController(
    tarsel::TemplateCache *templates, UploadEvents *uploadEvents, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , templateCache(templates)
    , events(uploadEvents)
{
}

void FileUploadController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    // An upload that is not saved leaves nothing in the download folder once answered.
    auto *placed = qobject_cast<PartialFileDevice *>(request.uploadedDevice("data"));
    tarsel::Template page = htmlPage(templateCache, QStringLiteral("upload"), request, response);
    if (request.parameter("action") != "show") {
        if (placed)
            placed->discard();
        response.write(page.toUtf8(), true);
        return;
    }
    const QJsonObject answer = save(request);
    if (placed)
        placed->discard();
    upload::answer(response, answer);
}

QJsonObject FileUploadController::save(const tarsel::HttpRequest &request)
{
    const QString folder = Settings::downloadPath();
    if (request.parameter("finish") == "finish") {
        emit events->batchFinished(folder);
        return upload::answerObject(true, tr(savedMessage).arg(upload::shownPlace(), tr("！")));
    }

    auto *placed = qobject_cast<PartialFileDevice *>(request.uploadedDevice("data"));
    QTemporaryFile *data = placed ? nullptr : request.uploadedFile("data");
    if (!placed && !data)
        return upload::answerObject(false, tr(failedMessage));
    // Only the last path component counts: an upload never lands outside the download folder.
    const QString name = upload::confinedFileName(QString::fromUtf8(request.parameter("filename")));
    if (name.isEmpty())
        return upload::answerObject(false, tr(badNameMessage));

    // Written into the download folder as it arrived: it only gets its name.
    if (placed) {
        const QString written = placed->finish(folder, name);
        if (written.isEmpty())
            return upload::answerObject(false, tr(failedMessage));
        emit events->fileSaved(written);
        return upload::answerObject(true, tr(savedMessage).arg(upload::shownPlace(written), tr("！")));
    }

    // The upload is complete in its temporary file already: where that lies on the download
    // folder's file system it simply gets its name there, otherwise it is copied.
    data->flush();
    const QString linked = upload::linkWithoutOverwrite(data->fileName(), folder, name);
    if (!linked.isEmpty()) {
        emit events->fileSaved(linked);
        return upload::answerObject(true, tr(savedMessage).arg(upload::shownPlace(linked), tr("！")));
    }

    // The copy is made under a hidden name and gets the file's name only when complete, so no
    // file under its final name is ever incomplete, even while it is copied or after a crash.
    // A half-written file is worse than none: unless finished, it goes with target.
    PartialFile target;
    if (!target.create(folder, QLatin1Char('.') + name + QLatin1String(partialFileSuffix)))
        return upload::answerObject(false, tr(failedMessage));
    const bool copied = upload::copyData(*data, target.file()) && target.file().flush();
    const QString written = copied ? target.finish(folder, name) : QString();
    if (written.isEmpty())
        return upload::answerObject(false, tr(failedMessage));
    emit events->fileSaved(written);
    return upload::answerObject(true, tr(savedMessage).arg(upload::shownPlace(written), tr("！")));
}
