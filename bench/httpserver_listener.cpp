// A listener whose handler answers every request with the same small body, for load tools such
// as wrk. Usage: bench_httpserver_listener [key=value listener settings...]
// Prints "port N" once it listens on 127.0.0.1 and serves until killed.
#include "httpserver/httplistener.h"
#include "httpserver/httprequesthandler.h"
#include "httpserver/httpresponse.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The same bytes nginx serves in the comparison run.
constexpr char fixedBody[] = "Hello from Orvex\n";

class FixedBodyHandler : public tarsel::HttpRequestHandler
{
public:
    void service(tarsel::HttpRequest &, tarsel::HttpResponse &response) override
    {
        response.setHeader("Content-Type", "text/plain");
        response.write(QByteArray::fromRawData(fixedBody, sizeof(fixedBody) - 1), true);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("listener.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    settings.setValue(QStringLiteral("port"), 0);
    // The application's values.
    settings.setValue(QStringLiteral("maxThreads"), 100);
    settings.setValue(QStringLiteral("minThreads"), 4);
    settings.setValue(QStringLiteral("cleanupInterval"), 60000);
    settings.setValue(QStringLiteral("readTimeout"), 60000);
    const QStringList arguments = app.arguments().mid(1);
    for (const QString &argument : arguments) {
        const int equals = argument.indexOf('=');
        if (equals > 0)
            settings.setValue(argument.left(equals), argument.mid(equals + 1));
    }

    FixedBodyHandler handler;
    tarsel::HttpListener listener(&settings, &handler);
    if (!listener.isListening())
        return 1;
    std::printf("port %d\n", int(listener.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
