#include "app/runapplication.h"
#include "cli/runcommand.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // A command runs without a display: no QApplication is made for it, so it needs no X server.
    if (isCommandLine(argc, argv)) {
        QCoreApplication app(argc, argv);
        setApplicationIdentity();
        return runCommand(app);
    }
    QApplication app(argc, argv);
    return runApplication(app);
}
