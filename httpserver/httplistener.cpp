#include "httplistener.h"

#include "httpserver/httpconnectionhandler.h"
#include "httpserver/httpconnectionhandlerpool.h"
#include "httpserver/threadhandover.h"

#include <QDebug>
#include <QSettings>
#include <QTcpSocket>

namespace tarsel {

HttpListener::HttpListener(QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent)
    : QTcpServer(parent)
    , m_settings(settings)
    , m_requestHandler(requestHandler)
{
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    listen();
}

HttpListener::~HttpListener()
{
    close();
    qDebug("HttpListener: destroyed");
}

void HttpListener::listen()
{
    if (!m_pool)
        m_pool = new HttpConnectionHandlerPool(m_settings, m_requestHandler);
    const QString host = m_settings->value("host").toString();
    const quint16 port = quint16(m_settings->value("port").toUInt() & 0xFFFF);
    const QHostAddress address = host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(host);
    QTcpServer::listen(address, port);
    if (!isListening())
        qCritical("HttpListener: Cannot bind on port %i: %s", port, qPrintable(errorString()));
    else
        qDebug("HttpListener: Listening on port %i", port);
}

void HttpListener::close()
{
    QTcpServer::close();
    qDebug("HttpListener: closed");
    delete m_pool;
    m_pool = nullptr;
}

void HttpListener::incomingConnection(tSocketDescriptor socketDescriptor)
{
    HttpConnectionHandler *freeHandler = m_pool ? m_pool->acquireHandler() : nullptr;
    if (freeHandler) {
        TARSEL_HAND_OVER(freeHandler);
        QMetaObject::invokeMethod(
            freeHandler, "handleConnection", Qt::QueuedConnection, Q_ARG(tSocketDescriptor, socketDescriptor));
        return;
    }

    qDebug("HttpListener: Too many incoming connections");
    auto *socket = new QTcpSocket(this);
    socket->setSocketDescriptor(socketDescriptor);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write("HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n");
    socket->disconnectFromHost();
}

} // namespace tarsel
