#include "httpconnectionhandler.h"

#include "httpserver/httprequest.h"
#include "httpserver/httprequesthandler.h"
#include "httpserver/httpresponse.h"
#include "httpserver/threadhandover.h"

#include <QDebug>
#include <QSettings>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>

#include <unistd.h>

namespace tarsel {

namespace {

// How long each wait for pending output may take before the connection is given up.
constexpr int writeWaitMs = 30000;

// A client that announces "Expect: 100-continue" holds the body back until it sees this line
// (or until its own patience runs out). HTTP/1.0 clients do not know the interim answer.
bool expectsContinue(const HttpRequest &request)
{
    return request.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0
        && request.version().compare("HTTP/1.0", Qt::CaseInsensitive) != 0;
}

} // namespace

HttpConnectionHandler::HttpConnectionHandler(
    const QSettings *settings, HttpRequestHandler *requestHandler, const QSslConfiguration *sslConfiguration)
    : m_settings(settings)
    , m_thread(new QThread)
    , m_requestHandler(requestHandler)
    , m_sslConfiguration(sslConfiguration)
{
    m_thread->start();
    qDebug("HttpConnectionHandler (%p): thread started", static_cast<void *>(this));

    moveToThread(m_thread);
    m_readTimer.moveToThread(m_thread);
    m_readTimer.setSingleShot(true);

    createSocket();
    m_socket->moveToThread(m_thread);

    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    connect(&m_readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    connect(m_thread, &QThread::finished, this, &HttpConnectionHandler::thread_done);

    qDebug("HttpConnectionHandler (%p): constructed", static_cast<void *>(this));
    TARSEL_HAND_OVER(this);
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    TARSEL_HAND_OVER(this);
    m_thread->quit();
    m_thread->wait();
    TARSEL_TAKE_OVER(this);
    m_thread->deleteLater();
    delete m_currentRequest;
    qDebug("HttpConnectionHandler (%p): destroyed", static_cast<void *>(this));
}

void HttpConnectionHandler::createSocket()
{
    if (m_sslConfiguration) {
        auto *sslSocket = new QSslSocket;
        sslSocket->setSslConfiguration(*m_sslConfiguration);
        m_socket = sslSocket;
        qDebug("HttpConnectionHandler (%p): SSL is enabled", static_cast<void *>(this));
        return;
    }
    m_socket = new QTcpSocket;
}

void HttpConnectionHandler::thread_done()
{
    TARSEL_TAKE_OVER(this);
    m_readTimer.stop();
    m_socket->close();
    delete m_socket;
    m_socket = nullptr;
    qDebug("HttpConnectionHandler (%p): thread stopped", static_cast<void *>(this));
    TARSEL_HAND_OVER(this);
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    TARSEL_TAKE_OVER(this);
    qDebug("HttpConnectionHandler (%p): handle new connection", static_cast<void *>(this));
    m_busy.store(true);

    // The socket is reused: bring it back to a clean unconnected state first.
    m_socket->abort();

    if (!m_socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        qCritical("HttpConnectionHandler (%p): cannot initialize socket: %s", static_cast<void *>(this),
            qPrintable(m_socket->errorString()));
        // The connection was handed over to this handler: nobody else closes it, and the
        // handler is free for the next one.
        ::close(int(socketDescriptor));
        m_busy.store(false);
        return;
    }

    // Responses are written in parts; waiting for the peer's delayed acknowledgement before each
    // small part would cost tens of milliseconds per request.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    if (m_sslConfiguration) {
        qDebug("HttpConnectionHandler (%p): Starting encryption", static_cast<void *>(this));
        static_cast<QSslSocket *>(m_socket)->startServerEncryption();
    }

    startReadTimer();

    delete m_currentRequest;
    m_currentRequest = nullptr;
}

void HttpConnectionHandler::startReadTimer()
{
    m_readTimer.start(m_settings->value("readTimeout", 10000).toInt());
}

void HttpConnectionHandler::waitForWritten()
{
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(writeWaitMs))
            break;
    }
}

void HttpConnectionHandler::readTimeout()
{
    qDebug("HttpConnectionHandler (%p): read timeout occured", static_cast<void *>(this));
    waitForWritten();
    m_socket->disconnectFromHost();
    delete m_currentRequest;
    m_currentRequest = nullptr;
}

void HttpConnectionHandler::disconnected()
{
    qDebug("HttpConnectionHandler (%p): disconnected", static_cast<void *>(this));
    m_socket->close();
    m_readTimer.stop();
    // A request cut off by the peer would otherwise keep its upload on disk until the next
    // connection.
    if (!m_serving) {
        delete m_currentRequest;
        m_currentRequest = nullptr;
    }
    m_busy.store(false);
}

void HttpConnectionHandler::read()
{
    while (m_socket->bytesAvailable() > 0) {
        if (!m_currentRequest) {
            m_currentRequest = new HttpRequest(m_settings);
            m_currentRequest->setUploadHandler(m_requestHandler);
        }

        while (m_socket->bytesAvailable() > 0 && m_currentRequest->status() != HttpRequest::Complete
            && m_currentRequest->status() != HttpRequest::Aborted) {
            const bool inHeader = m_currentRequest->status() == HttpRequest::WaitingForHeader;
            m_currentRequest->readFromSocket(m_socket);
            if (m_currentRequest->status() == HttpRequest::WaitingForBody) {
                // The header block is complete and the announced size within the limits (a body
                // over them has aborted the request, which gets the 413 without this line).
                if (inHeader && expectsContinue(*m_currentRequest)) {
                    m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                    m_socket->flush();
                }
                // A body keeps the connection alive while it keeps arriving.
                startReadTimer();
            }
        }

        if (m_currentRequest->status() == HttpRequest::Aborted) {
            m_socket->write("HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n");
            waitForWritten();
            m_socket->disconnectFromHost();
            delete m_currentRequest;
            m_currentRequest = nullptr;
            return;
        }

        if (m_currentRequest->status() != HttpRequest::Complete)
            return;

        m_readTimer.stop();
        qDebug("HttpConnectionHandler (%p): received request", static_cast<void *>(this));

        HttpResponse response(m_socket);
        bool closeConnection = false;
        if (m_currentRequest->header("Connection").compare("close", Qt::CaseInsensitive) == 0) {
            closeConnection = true;
            response.setHeader("Connection", "close");
        } else if (m_currentRequest->version().compare("HTTP/1.0", Qt::CaseInsensitive) == 0) {
            // An HTTP/1.0 client cannot read chunked encoding.
            closeConnection = true;
            response.setHeader("Connection", "close");
        }

        m_serving = true;
        try {
            m_requestHandler->service(*m_currentRequest, response);
        } catch (...) {
            qCritical("HttpConnectionHandler (%p): An uncatched exception occured in the request handler",
                static_cast<void *>(this));
        }

        if (!response.hasSentLastPart())
            response.write(QByteArray(), true);
        m_serving = false;
        qDebug("HttpConnectionHandler (%p): finished request", static_cast<void *>(this));

        if (!closeConnection) {
            const auto &headers = response.headers();
            if (headers.value("Connection").compare("close", Qt::CaseInsensitive) == 0) {
                closeConnection = true;
            } else if (!headers.contains("Content-Length")
                && headers.value("Transfer-Encoding").compare("chunked", Qt::CaseInsensitive) != 0) {
                // Without either header only the end of the connection marks the end of the body.
                closeConnection = true;
            }
        }

        delete m_currentRequest;
        m_currentRequest = nullptr;

        if (closeConnection) {
            waitForWritten();
            m_socket->disconnectFromHost();
            return;
        }
        // The peer may have gone while the request was served; then there is nothing to wait for.
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        startReadTimer();
    }
}

} // namespace tarsel
