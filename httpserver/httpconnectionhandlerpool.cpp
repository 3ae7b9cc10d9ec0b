#include "httpconnectionhandlerpool.h"

#include "httpserver/httpconnectionhandler.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    for (HttpConnectionHandler *handler : qAsConst(m_handlers))
        delete handler;
    delete m_sslConfiguration;
    qDebug("HttpConnectionHandlerPool (%p): destroyed", static_cast<void *>(this));
}

HttpConnectionHandler *HttpConnectionHandlerPool::acquireHandler()
{
    QMutexLocker locker(&m_mutex);
    for (HttpConnectionHandler *handler : qAsConst(m_handlers)) {
        if (!handler->isBusy()) {
            handler->setBusy();
            return handler;
        }
    }
    const int maxThreads = m_settings->value("maxThreads", 100).toInt();
    if (m_handlers.size() >= maxThreads)
        return nullptr;
    auto *handler = new HttpConnectionHandler(m_settings, m_requestHandler, m_sslConfiguration);
    handler->setBusy();
    m_handlers.append(handler);
    return handler;
}

void HttpConnectionHandlerPool::cleanup()
{
    const int maxIdleHandlers = m_settings->value("minThreads", 1).toInt();
    QMutexLocker locker(&m_mutex);
    int idleCounter = 0;
    for (int i = 0; i < m_handlers.size(); ++i) {
        HttpConnectionHandler *handler = m_handlers.at(i);
        if (handler->isBusy())
            continue;
        if (++idleCounter > maxIdleHandlers) {
            m_handlers.removeAt(i);
            delete handler;
            qDebug("HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %lli",
                static_cast<void *>(handler), qint64(m_handlers.size()));
            break;
        }
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
        qCritical("HttpConnectionHandlerPool: cannot open sslCertFile %s", qPrintable(sslCertFileName));
        return;
    }
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    certFile.close();

    QFile keyFile(sslKeyFileName);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        qCritical("HttpConnectionHandlerPool: cannot open sslKeyFile %s", qPrintable(sslKeyFileName));
        return;
    }
    const QSslKey sslKey(&keyFile, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, QByteArray());
    keyFile.close();

    m_sslConfiguration = new QSslConfiguration;
    m_sslConfiguration->setLocalCertificate(certificate);
    m_sslConfiguration->setPrivateKey(sslKey);
    m_sslConfiguration->setPeerVerifyMode(QSslSocket::VerifyNone);
    m_sslConfiguration->setProtocol(QSsl::AnyProtocol);
    qDebug("HttpConnectionHandlerPool: SSL settings loaded");
}

} // namespace tarsel
