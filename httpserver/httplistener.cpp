#include "httplistener.h"

#include "httpserver/httpconnectionhandler.h"
#include "httpserver/httpconnectionhandlerpool.h"
#include "httpserver/httplogging.h"
#include "httpserver/threadhandover.h"

#include <QSettings>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace tarsel {

HttpListener::HttpListener(QSettings *settings, HttpRequestHandler *requestHandler, QObject *parent)
    : QTcpServer(parent)
    , m_settings(settings)
    , m_requestHandler(requestHandler)
{
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    m_acceptRetry.setSingleShot(true);
    m_acceptRetry.setInterval(acceptRetryMs);
    connect(&m_acceptRetry, &QTimer::timeout, this, [this] {
        if (isListening())
            resumeAccepting();
    });
    connect(this, &QTcpServer::acceptError, this, &HttpListener::acceptFailed);
    listen();
}

HttpListener::~HttpListener()
{
    close();
    qCDebug(lcHttp, "HttpListener: destroyed");
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
        qCCritical(lcHttp, "HttpListener: Cannot bind on port %i: %s", port, qPrintable(errorString()));
    else
        qCDebug(lcHttp, "HttpListener: Listening on port %i", port);
}

void HttpListener::close()
{
    m_acceptRetry.stop();
    QTcpServer::close();
    qCDebug(lcHttp, "HttpListener: closed");
    delete m_pool;
    m_pool = nullptr;
}

// Qt pauses accepting after an error such as running out of descriptors and leaves resuming to
// us: a short pause lets descriptors free up, and the pending connections wait in the backlog.
void HttpListener::acceptFailed(QAbstractSocket::SocketError socketError)
{
    // Logged once until a connection is accepted again, not at every retry.
    if (!m_acceptFailing) {
        qCWarning(lcHttp, "HttpListener: cannot accept a connection (%i): %s, retrying", int(socketError),
            qPrintable(errorString()));
    }
    m_acceptFailing = true;
    m_acceptRetry.start();
}

void HttpListener::incomingConnection(tSocketDescriptor socketDescriptor)
{
    m_acceptFailing = false;
    sockaddr_storage address {};
    socklen_t addressSize = sizeof(address);
    QHostAddress peer;
    if (::getpeername(int(socketDescriptor), reinterpret_cast<sockaddr *>(&address), &addressSize) == 0)
        peer = QHostAddress(reinterpret_cast<const sockaddr *>(&address));

    HttpConnectionHandlerPool::Refusal refusal = HttpConnectionHandlerPool::Overloaded;
    HttpConnectionHandler *freeHandler = m_pool ? m_pool->acquireHandler(peer, &refusal) : nullptr;
    if (freeHandler) {
        TARSEL_HAND_OVER(freeHandler);
        QMetaObject::invokeMethod(
            freeHandler, "handleConnection", Qt::QueuedConnection, Q_ARG(tSocketDescriptor, socketDescriptor));
        return;
    }

    if (refusal == HttpConnectionHandlerPool::AddressShareUsed) {
        qCDebug(lcHttp, "HttpListener: Too many connections from %s", qPrintable(peer.toString()));
        refuse(socketDescriptor,
            "HTTP/1.1 429 too many connections from this address\r\nConnection: close\r\n\r\n"
            "Too many connections from this address\r\n");
        return;
    }
    qCDebug(lcHttp, "HttpListener: Too many incoming connections");
    refuse(socketDescriptor, "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n");
}

void HttpListener::refuse(tSocketDescriptor socketDescriptor, const QByteArray &answer)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        ::close(int(socketDescriptor));
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(answer);
    socket->disconnectFromHost();
}

} // namespace tarsel
