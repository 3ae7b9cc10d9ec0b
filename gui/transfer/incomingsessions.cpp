#include "incomingsessions.h"

#include "gui/transfer/progressbarui.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QDesktopServices>
#include <QUrl>

void showIncomingSessions(Server *server)
{
    QObject::connect(server, &Server::incomingSession, server, [](ReceiverContext *session) {
        auto *window = new ProgressBarUI(session, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(session, &ReceiverContext::filesSaved, window,
            [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    });
}
