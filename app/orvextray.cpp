#include "orvextray.h"

#include <QApplication>
#include <QIcon>

OrvexTray::OrvexTray(QApplication *app, QObject *parent)
    : QSystemTrayIcon(parent)
{
    Q_UNUSED(app);
    setIcon(QIcon(QStringLiteral(":/icons/app.png")));
    QAction *portEntry = menu.addAction(QString());
    portEntry->setEnabled(false);
    menu.addSeparator();
    menu.addAction(QIcon(QStringLiteral(":/icons/exit.png")), QStringLiteral("退出"), this,
        &OrvexTray::exitApplication);
    setContextMenu(&menu);
    setToolTip(QCoreApplication::applicationName());
}

void OrvexTray::exitApplication()
{
    QCoreApplication::exit(0);
}
