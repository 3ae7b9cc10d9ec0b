#include "weblinks.h"

#include "cli/console.h"
#include "core/localipv4addresses.h"
#include "core/peertext.h"
#include "core/portholder.h"
#include "core/settings.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>

namespace {

QString holderText(quint16 port)
{
    const PortHolder holder = PortHolder::find(PortHolder::Protocol::Tcp, port);
    if (holder.pid == 0)
        return QString();
    return QCoreApplication::translate("WebLinks", "（%1，进程 %2）").arg(holder.program).arg(holder.pid);
}

} // namespace

QString WebLinks::address(const QString &requested)
{
    if (!requested.isEmpty()) {
        const QHostAddress wanted(requested);
        const QList<QHostAddress> own = QNetworkInterface::allAddresses();
        for (const QHostAddress &address : own) {
            if (!wanted.isNull() && address.isEqual(wanted, QHostAddress::TolerantConversion))
                return wanted.toString();
        }
        Console::err(QCoreApplication::translate("WebLinks", "本机没有地址 %1。").arg(peerText(requested)));
        return QString();
    }
    const QStringList local = rankedIPv4Addresses();
    return local.isEmpty() ? QStringLiteral("127.0.0.1") : local.first();
}

WebServer *WebLinks::startServer(QObject *parent)
{
    const quint16 wanted = Settings::webPort();
    auto *server = new WebServer(parent);
    // Port 0 is the system's choice: nothing to move away from.
    for (int attempt = 1; server->serverPort() == 0 && wanted != 0 && attempt <= maxPortTries; ++attempt) {
        delete server;
        const int next = wanted + attempt;
        if (next > 65535)
            break;
        Settings::overrideForThisRun(QStringLiteral("webPort"), next);
        server = new WebServer(parent);
    }
    if (server->serverPort() == 0) {
        Console::err(QCoreApplication::translate("WebLinks", "无法监听网页端口 %1%2，其后的 %3 个端口也都被占用。")
                         .arg(wanted)
                         .arg(holderText(wanted))
                         .arg(maxPortTries));
        delete server;
        return nullptr;
    }
    if (server->serverPort() != wanted && wanted != 0) {
        Console::err(QCoreApplication::translate("WebLinks", "网页端口 %1 已被占用%2，改用端口 %3。")
                         .arg(wanted)
                         .arg(holderText(wanted))
                         .arg(server->serverPort()));
    }
    return server;
}

QString WebLinks::share(WebServer &server, const QString &address, const QStringList &files, const QString &text)
{
    // The port really listened on, which "--web-port 0" leaves to the system.
    return server.shareFiles(address, server.serverPort(), files, text);
}

QString WebLinks::uploadPage(WebServer &server, const QString &address)
{
    // The receive session lasts as long as the server: the command ends both together.
    return uploadPageLink(address, server.serverPort(), server.startReceiving());
}
