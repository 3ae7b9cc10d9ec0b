#include "textuploadcontroller.h"

#include "core/sharedtext.h"
#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"
#include "web/uploadevents.h"
#include "web/uploadsupport.h"

#include <QHostAddress>

namespace {

const char *const sentMessage = QT_TRANSLATE_NOOP("TextUploadController", "文字已发送到电脑。");
const char *const emptyMessage = QT_TRANSLATE_NOOP("TextUploadController", "没有可发送的文字。");
const char *const tooLargeMessage = QT_TRANSLATE_NOOP("TextUploadController", "文字太长，最多 1 MiB。");
const char *const tooManyMessage = QT_TRANSLATE_NOOP("TextUploadController", "发送太频繁，请稍后再试。");

} // namespace

TextRate::TextRate()
{
    clock.start();
}

bool TextRate::admit(const QString &client)
{
    QMutexLocker lock(&mutex);
    const qint64 now = clock.elapsed();
    auto entry = sent.find(client);
    if (entry == sent.end()) {
        if (sent.size() >= maxClients) {
            // Forget those whose window has passed; if none has, the table starts again.
            for (auto it = sent.begin(); it != sent.end();) {
                it = it->isEmpty() || now - it->last() >= windowMs ? sent.erase(it) : std::next(it);
            }
            if (sent.size() >= maxClients)
                sent.clear();
        }
        entry = sent.insert(client, {});
    }
    QVector<qint64> &times = *entry;
    while (!times.isEmpty() && now - times.first() >= windowMs)
        times.removeFirst();
    if (times.size() >= maxTextsPerWindow)
        return false;
    times.append(now);
    return true;
}

TextUploadController::TextUploadController(
    UploadEvents *uploadEvents, TextRate *textRate, const QByteArray &key, QObject *parent)
    : tarsel::HttpRequestHandler(parent)
    , events(uploadEvents)
    , rate(textRate)
    , sessionKey(key)
{
}

void TextUploadController::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    if (request.method().toUpper() != "POST") {
        response.setStatus(405, "method not allowed");
        response.setHeader("Allow", "POST");
        upload::answer(response, false);
        return;
    }
    const QByteArray text = request.parameter("text");
    if (text.size() > sharedtext::maxTextBytes) {
        response.setStatus(413, "payload too large");
        upload::answer(response, false, tr(tooLargeMessage));
        return;
    }
    if (!sharedtext::acceptable(text)) {
        response.setStatus(400, "bad request");
        upload::answer(response, false, tr(emptyMessage));
        return;
    }
    if (!rate->admit(request.peerAddress().toString())) {
        response.setStatus(429, "too many requests");
        upload::answer(response, false, tr(tooManyMessage));
        return;
    }
    emit events->textReceived(sessionKey, sharedtext::normalized(QString::fromUtf8(text)));
    upload::answer(response, true, tr(sentMessage));
}
