#pragma once

#include "httpserver/httplistener.h"

#include <QObject>
#include <QTimer>

#include <atomic>

class QSettings;
class QSslConfiguration;
class QTcpSocket;
class QThread;

namespace tarsel {

class HttpRequest;
class HttpRequestHandler;

// Serves one connection at a time in a thread of its own: parses requests, hands each complete
// one to the request handler and keeps the connection for the next request when allowed. The
// thread and the socket are reused for connection after connection.
class HttpConnectionHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandler)

public:
    HttpConnectionHandler(const QSettings *settings, HttpRequestHandler *requestHandler,
        const QSslConfiguration *sslConfiguration = nullptr);
    ~HttpConnectionHandler() override;

    bool isBusy() const { return m_busy.load(); }
    // Marks the handler taken; the pool calls it when handing the handler out.
    void setBusy() { m_busy.store(true); }

public slots:
    // Adopts the connection; queued from the listener so it runs in the handler's thread.
    void handleConnection(tSocketDescriptor socketDescriptor);

private slots:
    void readTimeout();
    void read();
    void disconnected();
    void thread_done();

private:
    void createSocket();
    void startReadTimer();
    void waitForWritten();

    const QSettings *m_settings;
    QTcpSocket *m_socket = nullptr;
    QThread *m_thread;
    QTimer m_readTimer;
    HttpRequest *m_currentRequest = nullptr;
    // True while the request handler runs; the request must outlive a disconnect noticed then.
    bool m_serving = false;
    HttpRequestHandler *m_requestHandler;
    // Written by the pool's thread (hand-out) and by this handler's thread.
    std::atomic<bool> m_busy { false };
    const QSslConfiguration *m_sslConfiguration;
};

} // namespace tarsel
