// A program built from the engine libraries and the headless commands alone: the layering check
// reads what it loads.
#include "cli/runcommand.h"
#include "core/settings.h"
#include "discovery/discoveryservice.h"
#include "transfer/server.h"
#include "web/qrmatrix.h"
#include "web/webserver.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    DiscoveryService discovery;
    Server server;
    WebServer web;
    if (isCommandLine(argc, argv))
        return runCommand(app);
    return QrMatrix::encode(Settings::deviceName()).isNull() ? 1 : 0;
}
