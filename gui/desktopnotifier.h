#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// Desktop notices through the freedesktop notification service on the session bus. The service
// reads bodies as markup, so they are escaped here. Without a service, notices are dropped.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    // One for the whole application: it holds the ids of its notices that carry an action.
    static DesktopNotifier &shared();

    explicit DesktopNotifier(QObject *parent = nullptr);

    // Plain texts; with a folder, the notice offers "打开文件夹".
    void notify(const QString &summary, const QString &body, const QString &folder = QString());

signals:
    void folderRequested(const QString &folder);

private slots:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    QHash<uint, QString> folders; // notice id -> the folder its action opens
};
