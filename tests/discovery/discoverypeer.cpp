// A device for discovery tests that need one in another network namespace: announces NAME and
// FINGERPRINT on DISCOVERY_PORT, answers requests, and prints "ready" once it listens. Its
// settings go where XDG_CONFIG_HOME points.
//   orvex_discoverypeer NAME FINGERPRINT DISCOVERY_PORT
#include "core/settings.h"
#include "discovery/discoveryservice.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("orvex-test"));
    QCoreApplication::setApplicationName(QStringLiteral("discoverypeer"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4)
        return 2;
    Settings::setDeviceName(arguments.at(1));
    Settings::setDiscoveryPort(static_cast<quint16>(arguments.at(3).toUInt()));
    Settings::setDiscoverable(true);
    DiscoveryService service;
    service.setFingerprint(arguments.at(2));
    service.start(5000);
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
