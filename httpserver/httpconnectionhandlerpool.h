#pragma once

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
// retires one surplus idle handler per "cleanupInterval" down to "minThreads".
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandlerPool)

public:
    HttpConnectionHandlerPool(QSettings *settings, HttpRequestHandler *requestHandler);
    ~HttpConnectionHandlerPool() override;

    // An idle handler already marked busy, or null when "maxThreads" handlers are all busy.
    HttpConnectionHandler *acquireHandler();

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
