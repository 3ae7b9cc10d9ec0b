#include "incomingsessions.h"

#include "core/sharedtext.h"
#include "gui/desktopnotifier.h"
#include "gui/text/receivedtextwindow.h"
#include "gui/transfer/progressbarui.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QDesktopServices>
#include <QUrl>

#include <memory>

namespace {

// A notice shows the start of a received text on one line.
constexpr int noticeCharacters = 80;

} // namespace

void showIncomingSessions(Server *server, const std::function<bool()> &mainWindowShown)
{
    QObject::connect(server, &Server::incomingSession, server, [mainWindowShown](ReceiverContext *session) {
        auto *window = new ProgressBarUI(session, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto sender = std::make_shared<QString>();
        QObject::connect(session, &Context::offered, window, [mainWindowShown, sender](const TransferOffer &offer) {
            *sender = offer.peer.standing == PeerIdentity::Standing::Paired ? offer.peer.pairedName : offer.deviceName;
            // An offer taken without asking has a notice of its own.
            if (!mainWindowShown || mainWindowShown() || ProgressBarUI::acceptsWithoutAsking(offer.peer))
                return;
            DesktopNotifier::shared().notify(QObject::tr("收到文件请求"),
                offer.textBytes > 0
                    ? QObject::tr("%1 向您发送文字").arg(offer.deviceName)
                    : QObject::tr("%1 向您分享 %n 个文件", nullptr, int(offer.files.size())).arg(offer.deviceName));
        });
        // A text is shown, never run or opened by itself; the notice shows its start.
        QObject::connect(session, &Context::transferFinished, window, [sender](const TransferResult &result) {
            if (result.text.isEmpty())
                return;
            DesktopNotifier::shared().notify(
                QObject::tr("收到文字"), sharedtext::oneLine(result.text, noticeCharacters));
            auto *shown = new ReceivedTextWindow(result.text, *sender);
            shown->show();
        });
        QObject::connect(session, &ReceiverContext::filesSaved, window, [](const QString &folder) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
            DesktopNotifier::shared().notify(
                QObject::tr("接收完成"), QObject::tr("文件已保存到 %1").arg(folder), folder);
        });
    });
}
