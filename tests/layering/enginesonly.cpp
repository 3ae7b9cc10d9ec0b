// A program built from the engine libraries alone: the layering check reads what it loads.
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
    return QrMatrix::encode(Settings::deviceName()).isNull() ? 1 : 0;
}
