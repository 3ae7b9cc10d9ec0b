#include "weblinks.h"

#include "core/localipv4addresses.h"
#include "web/webserver.h"

QString WebLinks::address(const QString &requested)
{
    if (!requested.isEmpty())
        return requested;
    const QStringList local = localIPv4Addresses();
    return local.isEmpty() ? QStringLiteral("127.0.0.1") : local.first();
}

QString WebLinks::share(WebServer &server, const QString &address, const QStringList &files)
{
    // The port really listened on, which "--web-port 0" leaves to the system.
    return server.shareFiles(address, server.serverPort(), files);
}

QString WebLinks::uploadPage(WebServer &server, const QString &address)
{
    // The receive session lasts as long as the server: the command ends both together.
    return uploadPageLink(address, server.serverPort(), server.startReceiving());
}
