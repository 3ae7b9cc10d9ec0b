#include "desktopnotifier.h"

#include "core/logging.h"
#include "core/peertext.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString openFolderAction = QStringLiteral("open-folder");
// The menu entry's name: services show its icon and group notices by it.
const QString desktopEntry = QStringLiteral("app.orvex.Orvex");
constexpr int serverDefaultTimeout = -1;

} // namespace

DesktopNotifier &DesktopNotifier::shared()
{
    static DesktopNotifier notifier;
    return notifier;
}

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
        SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifier::notify(const QString &summary, const QString &body, const QString &folder)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    const QStringList actions = folder.isEmpty() ? QStringList() : QStringList { openFolderAction, tr("打开文件夹") };
    const QVariantMap hints { { QStringLiteral("desktop-entry"), desktopEntry } };
    call << QCoreApplication::applicationName() << 0u << desktopEntry << peerText(summary)
         << peerText(body).toHtmlEscaped() << actions << hints << serverDefaultTimeout;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            qCInfo(lcGui, "no desktop notice: %s", qPrintable(reply.error().message()));
        else if (!folder.isEmpty())
            folders.insert(reply.value(), folder);
        watcher->deleteLater();
    });
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (action == openFolderAction && folders.contains(id))
        emit folderRequested(folders.take(id));
}

void DesktopNotifier::notificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    folders.remove(id);
}
