#include "incomingsessions.h"

#include "gui/desktopnotifier.h"
#include "gui/transfer/progressbarui.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QDesktopServices>
#include <QUrl>

void showIncomingSessions(Server *server, const std::function<bool()> &mainWindowShown)
{
    QObject::connect(server, &Server::incomingSession, server, [mainWindowShown](ReceiverContext *session) {
        auto *window = new ProgressBarUI(session, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (mainWindowShown) {
            QObject::connect(session, &Context::offered, window, [mainWindowShown](const TransferOffer &offer) {
                // An offer taken without asking has a notice of its own.
                if (!mainWindowShown() && !ProgressBarUI::acceptsWithoutAsking(offer.peer))
                    DesktopNotifier::shared().notify(QObject::tr("收到文件请求"),
                        QObject::tr("%1 向您分享 %n 个文件", nullptr, int(offer.files.size())).arg(offer.deviceName));
            });
        }
        QObject::connect(session, &ReceiverContext::filesSaved, window, [](const QString &folder) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
            DesktopNotifier::shared().notify(
                QObject::tr("接收完成"), QObject::tr("文件已保存到 %1").arg(folder), folder);
        });
    });
}
