// The test handlers behind a real listener, for clients such as curl and Python's http.client.
// Arguments are listener settings as key=value; prints "port N" once it listens on 127.0.0.1.
#include "httpserver/httplistener.h"
#include "tests/httpserver/testhandler.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Debug lines of every request would drown the client's output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    QVariantMap values;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString &argument : arguments) {
        const int equals = argument.indexOf('=');
        if (equals > 0)
            values.insert(argument.left(equals), argument.mid(equals + 1));
    }
    httptest::TestSettings settings(values);
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    if (!listener.isListening())
        return 1;
    std::printf("port %d\n", int(listener.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
