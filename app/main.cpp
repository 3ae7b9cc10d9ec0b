#include "app/runapplication.h"
#include "cli/runcommand.h"
#include "core/logging.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // From the first message on, Qt's included: they may quote a peer's file name.
    installPlainMessageHandler();
    // A command runs without a display: no QApplication is made for it, so it needs no X server.
    if (isCommandLine(argc, argv)) {
        QCoreApplication app(argc, argv);
        setApplicationIdentity();
        return runCommand(app);
    }
    const int refused = checkTrayStart(argc, argv);
    if (refused != trayMayStart)
        return refused;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 does both by itself: windows follow the screen's scale, and icons are drawn from
    // pixmaps of its resolution instead of being stretched.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QApplication app(argc, argv);
    return runApplication(app);
}
