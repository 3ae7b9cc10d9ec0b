#pragma once

#include <QTcpServer>

class QSettings;

namespace tarsel {

// The platform socket descriptor, registered with the meta-type system under this name so that
// it can travel in a queued slot invocation to a handler's thread.
using tSocketDescriptor = qintptr;

class HttpConnectionHandlerPool;
class HttpRequestHandler;

// Accepts connections and hands each to an idle connection handler of its pool; a connection
// that finds none is answered with 503 and closed. Listens as soon as it is constructed.
class HttpListener : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpListener)

public:
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
    QSettings *m_settings;
    HttpRequestHandler *m_requestHandler;
    HttpConnectionHandlerPool *m_pool = nullptr;
};

} // namespace tarsel
