#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QVector>

#include <memory>

class OfferBudget;
class ReceiverContext;

// Accepts the connections of sending devices for the whole run of the program. Each connection
// becomes a receiving session, announced with incomingSession; whoever receives it owns it and
// starts its key exchange. The server follows its sessions only to bound them: connections
// beyond the limits below are closed at once, and an offer beyond the waiting ones is refused
// before anyone is asked.
class Server : public QObject
{
    Q_OBJECT

public:
    // Sessions of one address that have not completed the key exchange.
    static constexpr int maxUnkeyedSessionsPerAddress = 4;
    // Live sessions in all. Each holds a socket and at most one open file: far below the
    // descriptor limit, even before it is raised at start.
    static constexpr int maxSessions = 32;
    // Offers waiting for the user's decision, at most one of them per sending address.
    static constexpr int maxWaitingOffers = 3;

    explicit Server(QObject *parent = nullptr);
    ~Server() override;

    // Listens on the configured port (0: a port of the system's choice) on every address.
    // Throws std::runtime_error("无法监听 %1 端口") when that is impossible.
    void start();
    // The port really listened on.
    quint16 serverPort() const;
    // Why start() could not listen, in the system's words.
    QString listenError() const { return server.errorString(); }

    // How long a new connection may take for the key exchange, and then for its metadata,
    // before it is dropped without a window. Tests shorten it.
    void setSessionTimeLimit(int msec);

public slots:
    void handleNewConnection();

signals:
    // session has no parent; a receiver takes it over (a window, a command) and calls
    // startHandshake.
    void incomingSession(ReceiverContext *session);

private:
    struct TrackedSession
    {
        QPointer<ReceiverContext> session;
        QHostAddress peer;
    };

    void forgetEndedSessions();
    int unkeyedSessionsFrom(const QHostAddress &peer) const;
    bool admitOffer(const ReceiverContext &offering, const QHostAddress &peer);

    QTcpServer server;
    int sessionTimeLimitMsec;
    // Shared with every session, which may outlive the server.
    std::shared_ptr<OfferBudget> offerBudget;
    QVector<TrackedSession> sessions;
};
