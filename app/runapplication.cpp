#include "runapplication.h"

#include "app/singleinstance.h"
#include "core/openfilelimit.h"
#include "core/signalwatcher.h"
#include "gui/orvextray.h"
#include "gui/qttranslation.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <stdexcept>

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvex"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvex.app"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
}

int runApplication(QApplication &app)
{
    setApplicationIdentity();
    // The program lives in the tray: closing the last window (or a message box while the
    // main window is hidden) must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    raiseOpenFileLimit();
    // The system locale or the language setting chooses the windows' language, and Qt's own
    // buttons and dialogs follow it.
    useLanguage(chosenLanguage());

    // Files from the command line ("Open with Orvex"), as absolute paths: the running instance
    // may have another working folder.
    QStringList files;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString &argument : arguments)
        files.append(QFileInfo(argument).absoluteFilePath());
    SingleInstance instance;
    if (instance.handOver(files))
        return 0;

    try {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            throw std::runtime_error(QCoreApplication::translate("Main", "您的系统不支持托盘运行模式！").toStdString());
        OrvexTray tray(&app);
        tray.show();
        QObject::connect(&instance, &SingleInstance::filesHandedOver, &tray, [&tray](const QStringList &handed) {
            if (handed.isEmpty())
                tray.showOnlineDeviceWindow();
            else
                tray.openFiles(handed);
        });
        instance.listen();
        // Ended by the session or by kill: as clean as the menu's "退出".
        SignalWatcher terminationSignals;
        QObject::connect(&terminationSignals, &SignalWatcher::signalled, &tray, &OrvexTray::exitApplication);
        if (!files.isEmpty())
            tray.openFiles(files);
        return app.exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(
            nullptr, QCoreApplication::applicationName(), QString::fromUtf8(error.what()), QMessageBox::Ok);
        return 1;
    }
}
