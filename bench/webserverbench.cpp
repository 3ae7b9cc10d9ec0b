// The application's web server on its own, for bench/web_transfer.sh: listens on a free
// loopback-reachable port, shares the files named on the command line, stores uploads in the
// folder given by ORVEX_BENCH_DOWNLOADS, prints "port <n>" and runs until standard input closes.
// Its settings go to a temporary folder, never the user's.

#include "core/settings.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QStandardPaths::setTestModeEnabled(true);

    Settings::setWebPort(0);
    Settings::setDownloadPath(QString::fromLocal8Bit(qgetenv("ORVEX_BENCH_DOWNLOADS")));
    WebServer server;
    if (server.serverPort() == 0)
        return 1;
    server.shareFiles(QStringLiteral("127.0.0.1"), server.serverPort(), app.arguments().mid(1));
    std::printf("port %u\n", unsigned(server.serverPort()));
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    return app.exec();
}
