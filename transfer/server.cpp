#include "server.h"

#include "core/logging.h"
#include "core/settings.h"
#include "transfer/offerbudget.h"
#include "transfer/receivercontext.h"
#include "transfer/resumerecord.h"

#include <QTcpSocket>

#include <algorithm>
#include <stdexcept>

Server::Server(QObject *parent)
    : QObject(parent)
    , sessionTimeLimitMsec(Context::defaultTimeLimitMsec)
    , offerBudget(std::make_shared<OfferBudget>())
{
}

Server::~Server() = default;

void Server::start()
{
    const quint16 port = Settings::serverPort();
    if (!server.listen(QHostAddress::Any, port))
        throw std::runtime_error(tr("无法监听 %1 端口").arg(port).toStdString());
    connect(&server, &QTcpServer::newConnection, this, &Server::handleNewConnection, Qt::UniqueConnection);
    ResumeRecord::dropStale(Settings::downloadPath());
}

quint16 Server::serverPort() const
{
    return server.serverPort();
}

void Server::setSessionTimeLimit(int msec)
{
    sessionTimeLimitMsec = msec;
}

void Server::handleNewConnection()
{
    while (server.hasPendingConnections()) {
        QTcpSocket *socket = server.nextPendingConnection();
        forgetEndedSessions();
        const QHostAddress peer = socket->peerAddress();
        if (sessions.size() >= maxSessions || unkeyedSessionsFrom(peer) >= maxUnkeyedSessionsPerAddress) {
            // Debug only: a flood of connections must not become a flood of log lines.
            qCDebug(lcTransfer).noquote()
                << "Closed a connection from" << peer.toString() << "at once: too many sessions";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *context = new ReceiverContext(socket, nullptr);
        context->setTimeLimit(sessionTimeLimitMsec);
        context->setOfferBudget(offerBudget);
        // A session may outlive the server (its window still open when the server goes).
        context->setOfferAdmission([server = QPointer<Server>(this), peer](const ReceiverContext &offering) {
            return !server || server->admitOffer(offering, peer);
        });
        sessions.append({ context, peer });
        emit incomingSession(context);
    }
}

void Server::forgetEndedSessions()
{
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                       [](const TrackedSession &tracked) { return tracked.session.isNull(); }),
        sessions.end());
}

int Server::unkeyedSessionsFrom(const QHostAddress &peer) const
{
    return static_cast<int>(std::count_if(sessions.cbegin(), sessions.cend(), [&peer](const TrackedSession &tracked) {
        return tracked.session && tracked.session->sessionState() == Context::AwaitingKey
            && tracked.peer.isEqual(peer, QHostAddress::TolerantConversion);
    }));
}

bool Server::admitOffer(const ReceiverContext &offering, const QHostAddress &peer)
{
    int waiting = 0;
    for (const TrackedSession &tracked : qAsConst(sessions)) {
        if (!tracked.session || tracked.session.data() == &offering || !tracked.session->offerWaiting())
            continue;
        if (tracked.peer.isEqual(peer, QHostAddress::TolerantConversion)) {
            qCInfo(lcTransfer).noquote() << "Refused an offer from" << peer.toString()
                                         << "at once: an offer from this address is already waiting";
            return false;
        }
        ++waiting;
    }
    if (waiting >= maxWaitingOffers) {
        qCInfo(lcTransfer).noquote() << "Refused an offer from" << peer.toString() << "at once:" << waiting
                                     << "offers are already waiting";
        return false;
    }
    return true;
}
