#pragma once

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QTimer>

class QSettings;
class QSslConfiguration;

namespace tarsel {

class HttpConnectionHandler;
class HttpRequestHandler;

// Owns the connection handlers: hands out an idle one, creates new ones up to "maxThreads" and
// retires one surplus idle handler per "cleanupInterval" down to "minThreads". One client address
// holds at most "maxThreadsPerAddress" handlers (by default a quarter of "maxThreads", but never
// fewer than minThreadsPerAddress), so a single client cannot take the whole pool; nor more than
// "maxThreads" / (the number of other addresses holding handlers + 2), never fewer than
// minThreadsPerAddress, so that a few addresses together leave room for another one.
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandlerPool)

public:
    // A browser opens about six connections to a server; one address may always hold that many.
    static constexpr int minThreadsPerAddress = 6;
    // How long the pool's destruction waits in total for handlers still serving a request.
    static constexpr int shutdownWaitMs = 3000;
    // How long retiring one idle handler may block the pool's thread.
    static constexpr int retireWaitMs = 500;

    enum Refusal { NotRefused, Overloaded, AddressShareUsed };

    HttpConnectionHandlerPool(QSettings *settings, HttpRequestHandler *requestHandler);
    ~HttpConnectionHandlerPool() override;

    // An idle handler already marked busy for peer, or null with the reason in refusal: all
    // "maxThreads" handlers busy or no new thread available, or peer's share used up.
    HttpConnectionHandler *acquireHandler(const QHostAddress &peer = QHostAddress(), Refusal *refusal = nullptr);

private slots:
    void cleanup();

private:
    void loadSslConfiguration();

    QSettings *m_settings;
    HttpRequestHandler *m_requestHandler;
    QList<HttpConnectionHandler *> m_handlers;
    QTimer m_cleanupTimer;
    QMutex m_mutex;
    QSslConfiguration *m_sslConfiguration = nullptr;
};

} // namespace tarsel
