#pragma once

#include "httpserver/httplistener.h"

#include <QDeadlineTimer>
#include <QHostAddress>
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
// thread and the socket are reused for connection after connection. The handler is busy from
// the moment the pool hands it out until its connection is over and no request is being served.
class HttpConnectionHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandler)

public:
    // A body must bring at least this many bytes per second, measured over each "readTimeout"
    // period, or the connection is closed; the request line and headers must arrive within one
    // "readTimeout" period in total.
    static constexpr qint64 minBodyBytesPerSecond = 1024;

    HttpConnectionHandler(const QSettings *settings, HttpRequestHandler *requestHandler,
        const QSslConfiguration *sslConfiguration = nullptr);
    ~HttpConnectionHandler() override;

    // False when its thread could not be started; such a handler serves nothing.
    bool isValid() const;
    bool isBusy() const { return m_busy.load(); }
    // Marks the handler taken for a client; the pool calls it when handing the handler out.
    void setBusy(const QHostAddress &peer = QHostAddress());
    // The client of the connection it was last handed; only meaningful while busy.
    QHostAddress peer() const { return m_peer; }

    // Thread-safe: asks the handler to end its connection and its thread. Responses being written
    // fail from then on, so a request handler's send loop ends soon.
    void stop();
    // After stop(): waits until the thread has ended or the deadline passes. A handler whose
    // thread ended may be deleted; one that did not deletes itself when its thread ends.
    bool finishOrDetach(QDeadlineTimer deadline);

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
    void armReadTimer();
    void stopReadTimer();
    void startBodyWindow();
    void waitForWritten();
    void closeAfterWriting();
    void readRequests();
    bool admitBody();
    bool moveBodyByKernel();
    bool readBodyDirectly();
    bool waitForBody(int socketFd, QDeadlineTimer &window);
    bool bodyEnded();
    void endBodyWindow();
    void refuse(int status);
    void endRequest();
    void becomeIdleUnlessConnected();
    void releaseConnection();

    const QSettings *m_settings;
    QTcpSocket *m_socket = nullptr;
    QThread *m_thread;
    QTimer m_readTimer;
    // When the period the read timer watches ends; forever while nothing is awaited.
    QDeadlineTimer m_readDeadline { QDeadlineTimer::Forever };
    HttpRequest *m_currentRequest = nullptr;
    // True while the request handler runs; the request must outlive a disconnect noticed then,
    // and the handler stays busy.
    bool m_serving = false;
    // Between adopting a connection and giving the handler back to the pool for it.
    bool m_holdsConnection = false;
    // While a body arrives the read timer measures windows of this length and the bytes in them.
    bool m_inBody = false;
    qint64 m_windowBytes = 0;
    int m_readTimeout = 10000;
    // The request limits of the settings, read once per connection.
    qint64 m_maxRequestSize = 16000;
    qint64 m_maxMultiPartSize = 1000000;
    HttpRequestHandler *m_requestHandler;
    // Written by the pool's thread (hand-out, stop) and by this handler's thread.
    std::atomic<bool> m_busy { false };
    std::atomic<bool> m_stopping { false };
    QHostAddress m_peer;
    const QSslConfiguration *m_sslConfiguration;
};

} // namespace tarsel
