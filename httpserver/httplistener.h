#pragma once

#include <QTcpServer>
#include <QTimer>

class QSettings;

namespace tarsel {

// The platform socket descriptor, registered with the meta-type system under this name so that
// it can travel in a queued slot invocation to a handler's thread.
using tSocketDescriptor = qintptr;

class HttpConnectionHandlerPool;
class HttpRequestHandler;

// Accepts connections and hands each to an idle connection handler of its pool; a connection
// that finds none is answered with 503 and closed, one from an address that already holds its
// share of the pool with 429. Listens as soon as it is constructed. When accepting fails (no
// descriptors left), it pauses for acceptRetryMs and tries again, for as long as it takes.
class HttpListener : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpListener)

public:
    static constexpr int acceptRetryMs = 200;

    // settings ("host", "port", pool and handler keys) and requestHandler are not owned and must
    // outlive the listener.
    HttpListener(QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent = nullptr);
    ~HttpListener() override;

    void listen();
    // Stops listening and deletes the pool with all its handlers; listen() starts afresh.
    void close();

signals:
    void handleConnection(tSocketDescriptor socketDescriptor);

protected:
    void incomingConnection(tSocketDescriptor socketDescriptor) override;

private:
    void acceptFailed(QAbstractSocket::SocketError socketError);
    void refuse(tSocketDescriptor socketDescriptor, const QByteArray &answer);

    QTimer m_acceptRetry;
    bool m_acceptFailing = false;
    QSettings *m_settings;
    HttpRequestHandler *m_requestHandler;
    HttpConnectionHandlerPool *m_pool = nullptr;
};

} // namespace tarsel
