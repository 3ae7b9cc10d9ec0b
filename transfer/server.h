#pragma once

#include <QObject>
#include <QTcpServer>

class ReceiverContext;

// Accepts the connections of sending devices for the whole run of the program. Each connection
// becomes a receiving session, announced with incomingSession; whoever receives it owns it and
// starts its key exchange. The server keeps no list of sessions.
class Server : public QObject
{
    Q_OBJECT

public:
    explicit Server(QObject *parent = nullptr);

    // Listens on the configured port (0: a port of the system's choice) on every address.
    // Throws std::runtime_error("无法监听 %1 端口") when that is impossible.
    void start();
    // The port really listened on.
    quint16 serverPort() const;

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
    QTcpServer server;
    int sessionTimeLimitMsec;
};
