#include "runapplication.h"

#include "core/openfilelimit.h"
#include "gui/orvextray.h"

#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <stdexcept>

int runApplication(QApplication &app)
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvex"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvex.app"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    // The program lives in the tray: closing the last window (or a message box while the
    // main window is hidden) must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    raiseOpenFileLimit();

    try {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            throw std::runtime_error(QCoreApplication::translate("Main", "您的系统不支持托盘运行模式！").toStdString());
        OrvexTray tray(&app);
        tray.show();
        return app.exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(
            nullptr, QCoreApplication::applicationName(), QString::fromUtf8(error.what()), QMessageBox::Ok);
        return 1;
    }
}
