#include "httpconnectionhandlerpool.h"

#include "httpserver/httpconnectionhandler.h"
#include "httpserver/httplogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

namespace tarsel {

HttpConnectionHandlerPool::HttpConnectionHandlerPool(QSettings *settings, HttpRequestHandler *requestHandler)
    : m_settings(settings)
    , m_requestHandler(requestHandler)
{
    loadSslConfiguration();
    m_cleanupTimer.start(m_settings->value("cleanupInterval", 1000).toInt());
    connect(&m_cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    // Handlers still serving are asked to stop, then waited for with one bound for all: the
    // pool's thread (the GUI's) must not hang on a request handler.
    for (HttpConnectionHandler *handler : qAsConst(m_handlers))
        handler->stop();
    const QDeadlineTimer deadline(shutdownWaitMs);
    for (HttpConnectionHandler *handler : qAsConst(m_handlers)) {
        if (handler->finishOrDetach(deadline))
            delete handler;
    }
    delete m_sslConfiguration;
    qCDebug(lcHttp, "HttpConnectionHandlerPool (%p): destroyed", static_cast<void *>(this));
}

HttpConnectionHandler *HttpConnectionHandlerPool::acquireHandler(const QHostAddress &peer, Refusal *refusal)
{
    Refusal ignored;
    Refusal &reason = refusal ? *refusal : ignored;
    reason = NotRefused;
    QMutexLocker locker(&m_mutex);
    const int maxThreads = m_settings->value("maxThreads", 100).toInt();
    const int perAddress
        = m_settings->value("maxThreadsPerAddress", qMax(maxThreads / 4, minThreadsPerAddress)).toInt();
    if (!peer.isNull()) {
        int held = 0;
        QSet<QHostAddress> others;
        for (const HttpConnectionHandler *handler : qAsConst(m_handlers)) {
            if (!handler->isBusy())
                continue;
            if (handler->peer() == peer)
                ++held;
            else
                others.insert(handler->peer());
        }
        // Each address gets no more than an equal part of the pool with one part left over, so
        // addresses that keep connecting cannot take the handlers a newcomer needs.
        const int fairShare = qMax(minThreadsPerAddress, maxThreads / (int(others.size()) + 2));
        if (held >= qMin(perAddress, fairShare)) {
            reason = AddressShareUsed;
            return nullptr;
        }
    }
    for (HttpConnectionHandler *handler : qAsConst(m_handlers)) {
        if (!handler->isBusy()) {
            handler->setBusy(peer);
            return handler;
        }
    }
    if (m_handlers.size() >= maxThreads) {
        reason = Overloaded;
        return nullptr;
    }
    auto *handler = new HttpConnectionHandler(m_settings, m_requestHandler, m_sslConfiguration);
    if (!handler->isValid()) {
        qCWarning(lcHttp, "HttpConnectionHandlerPool: cannot start a thread for a new connection handler");
        delete handler;
        reason = Overloaded;
        return nullptr;
    }
    handler->setBusy(peer);
    m_handlers.append(handler);
    return handler;
}

void HttpConnectionHandlerPool::cleanup()
{
    // Every idle handler beyond the minimum goes at once: after a burst (or an attack) the pool
    // is back to its resting size one interval later.
    const int maxIdleHandlers = m_settings->value("minThreads", 1).toInt();
    QList<HttpConnectionHandler *> retired;
    {
        QMutexLocker locker(&m_mutex);
        int idleCounter = 0;
        for (int i = 0; i < m_handlers.size();) {
            HttpConnectionHandler *handler = m_handlers.at(i);
            if (!handler->isBusy() && ++idleCounter > maxIdleHandlers) {
                m_handlers.removeAt(i);
                retired.append(handler);
                qCDebug(lcHttp, "HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %lli",
                    static_cast<void *>(handler), qint64(m_handlers.size()));
                continue;
            }
            ++i;
        }
    }
    // Idle, they only wait in their event loops; one bound for all keeps this thread safe anyway.
    for (HttpConnectionHandler *handler : qAsConst(retired))
        handler->stop();
    const QDeadlineTimer deadline(retireWaitMs);
    for (HttpConnectionHandler *handler : qAsConst(retired)) {
        if (handler->finishOrDetach(deadline))
            delete handler;
    }
}

void HttpConnectionHandlerPool::loadSslConfiguration()
{
    QString sslKeyFileName = m_settings->value("sslKeyFile", "").toString();
    QString sslCertFileName = m_settings->value("sslCertFile", "").toString();
    if (sslKeyFileName.isEmpty() || sslCertFileName.isEmpty())
        return;

    // Relative paths belong to the folder of the settings file, not the working directory.
    const QDir settingsDir = QFileInfo(m_settings->fileName()).absoluteDir();
    if (QDir::isRelativePath(sslKeyFileName))
        sslKeyFileName = QFileInfo(settingsDir, sslKeyFileName).absoluteFilePath();
    if (QDir::isRelativePath(sslCertFileName))
        sslCertFileName = QFileInfo(settingsDir, sslCertFileName).absoluteFilePath();

    QFile certFile(sslCertFileName);
    if (!certFile.open(QIODevice::ReadOnly)) {
        qCCritical(lcHttp, "HttpConnectionHandlerPool: cannot open sslCertFile %s", qPrintable(sslCertFileName));
        return;
    }
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    certFile.close();

    QFile keyFile(sslKeyFileName);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        qCCritical(lcHttp, "HttpConnectionHandlerPool: cannot open sslKeyFile %s", qPrintable(sslKeyFileName));
        return;
    }
    const QSslKey sslKey(&keyFile, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, QByteArray());
    keyFile.close();

    m_sslConfiguration = new QSslConfiguration;
    m_sslConfiguration->setLocalCertificate(certificate);
    m_sslConfiguration->setPrivateKey(sslKey);
    m_sslConfiguration->setPeerVerifyMode(QSslSocket::VerifyNone);
    m_sslConfiguration->setProtocol(QSsl::AnyProtocol);
    qCDebug(lcHttp, "HttpConnectionHandlerPool: SSL settings loaded");
}

} // namespace tarsel
