#include "runapplication.h"

#include "app/singleinstance.h"
#include "cli/console.h"
#include "core/language.h"
#include "core/openfilelimit.h"
#include "core/peertext.h"
#include "core/signalwatcher.h"
#include "gui/orvextray.h"
#include "gui/qttranslation.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace {

// Qt's own options of the widgets application and its Linux platforms, which Qt takes out of
// the arguments; each may also be written with two dashes, and those with a value as -name=value.
const char *const qtOptionsWithValue[] = { "platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "session", "display", "name",
    "class", "style", "stylesheet", "visual", "qmljsdebugger", "dialogs", "fontengine" };
const char *const qtFlags[] = { "reverse", "widgetcount", "testability", "sync", "nograb", "dograb" };

bool isOneOf(const QString &name, const char *const *first, const char *const *last)
{
    return std::any_of(first, last, [&name](const char *option) { return name == QLatin1String(option); });
}

// A platform plugin that draws on X11 or Wayland; the others (offscreen, minimal, eglfs,
// linuxfb, vnc, ...) need no display. Qt 6 takes a list separated by semicolons and tries each.
bool needsDisplay(const QString &platforms)
{
    if (platforms.isEmpty())
        return true;
    const QStringList names = platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return std::all_of(names.cbegin(), names.cend(), [](const QString &platform) {
        // A platform may carry options after a colon ("xcb:foo=1").
        const QString name = platform.left(platform.indexOf(QLatin1Char(':')));
        return name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
    });
}

} // namespace

int checkTrayStart(int argc, char *argv[])
{
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    bool hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    QString unknown;
    for (int i = 1; i < argc && unknown.isEmpty(); ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        // A file, even one whose name starts with a dash.
        if (!argument.startsWith(QLatin1Char('-')) || QFileInfo::exists(argument))
            continue;
        QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const int equals = name.indexOf(QLatin1Char('='));
        QString value;
        if (equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (equals < 0 && isOneOf(name, std::begin(qtFlags), std::end(qtFlags)))
            continue;
        if (!isOneOf(name, std::begin(qtOptionsWithValue), std::end(qtOptionsWithValue))) {
            unknown = argument;
            break;
        }
        if (equals < 0 && i + 1 < argc)
            value = QString::fromLocal8Bit(argv[++i]);
        if (name == QLatin1String("platform"))
            platform = value;
        else if (name == QLatin1String("display"))
            hasDisplay = true;
    }
    if (unknown.isEmpty() && (hasDisplay || !needsDisplay(platform)))
        return trayMayStart;

    // Only for the message: in the user's language, without a display.
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    installTranslation(chosenLanguage());
    if (!unknown.isEmpty()) {
        Console::err(QCoreApplication::translate("Main", "未知的选项：%1").arg(peerText(unknown)));
        Console::err(QCoreApplication::translate("RunCommand", "“orvex --help” 列出可用的命令。"));
        return 2;
    }
    Console::err(QCoreApplication::translate("Main", "没有显示器：托盘程序需要桌面环境；命令不需要：orvex --help"));
    return 1;
}

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
    if (instance.socketPath().isEmpty()) {
        Console::err(QCoreApplication::translate("Main",
            "运行目录（XDG_RUNTIME_DIR）不是仅属于当前用户的文件夹（权限 0700）：本次运行不检查是否已有 Orvex "
            "在运行。"));
    }
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
