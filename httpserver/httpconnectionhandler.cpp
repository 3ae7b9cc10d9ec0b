#include "httpconnectionhandler.h"

#include "httpserver/filebodydevice.h"
#include "httpserver/httplogging.h"
#include "httpserver/httprequest.h"
#include "httpserver/httprequesthandler.h"
#include "httpserver/httpresponse.h"
#include "httpserver/threadhandover.h"

#include <QSettings>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <poll.h>
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

// The pipe a body moves through from the socket to its file: as large as the kernel lets an
// unprivileged process make it, so each pair of splice calls moves much.
constexpr int bodyPipeSize = 1024 * 1024;
// While a body moves by the kernel the thread waits in poll(), in slices of this length, so that
// stop() is noticed soon.
constexpr int bodyPollSliceMs = 200;

// The pipe's two ends, closed when it goes.
struct BodyPipe
{
    int fds[2] = { -1, -1 };
    BodyPipe()
    {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            fds[0] = fds[1] = -1;
        else
            ::fcntl(fds[1], F_SETPIPE_SZ, bodyPipeSize);
    }
    ~BodyPipe()
    {
        for (const int fd : fds) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    bool isValid() const { return fds[0] >= 0; }
};

// Moves what the pipe holds into the body's file; after a failure (or with a device that takes
// no more) the bytes are read out and handed to write(), which passes them over.
void emptyPipe(int pipeFd, FileBodyDevice *device, qint64 size)
{
    while (size > 0) {
        const int fd = device->fileDescriptor();
        if (fd >= 0) {
            loff_t offset = device->fileOffset();
            const ssize_t moved = ::splice(pipeFd, nullptr, fd, &offset, size_t(size), SPLICE_F_MOVE);
            if (moved > 0) {
                device->bytesPlaced(moved);
                size -= moved;
                continue;
            }
            device->placingFailed();
            continue;
        }
        char buffer[65536];
        const ssize_t got = ::read(pipeFd, buffer, size_t(qMin<qint64>(size, sizeof buffer)));
        if (got <= 0)
            return;
        device->write(buffer, got);
        size -= got;
    }
}

// The short answers to a request that is refused before any handler sees it.
QByteArray refusal(int status)
{
    switch (status) {
    case 400:
        return "HTTP/1.1 400 bad request\r\nConnection: close\r\n\r\n400 Bad request\r\n";
    case 431:
        return "HTTP/1.1 431 request header fields too large\r\nConnection: close\r\n\r\n"
               "431 Request header fields too large\r\n";
    case 500:
        return "HTTP/1.1 500 internal server error\r\nConnection: close\r\n\r\n500 Internal server error\r\n";
    default:
        return "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
    }
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
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread started", static_cast<void *>(this));

    moveToThread(m_thread);
    m_readTimer.moveToThread(m_thread);
    m_readTimer.setSingleShot(true);

    createSocket();
    m_socket->moveToThread(m_thread);

    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    connect(&m_readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    connect(m_thread, &QThread::finished, this, &HttpConnectionHandler::thread_done);

    qCDebug(lcHttp, "HttpConnectionHandler (%p): constructed", static_cast<void *>(this));
    TARSEL_HAND_OVER(this);
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    TARSEL_HAND_OVER(this);
    // A handler that outlived its pool is deleted in its own ending thread, which cannot wait
    // for itself.
    if (QThread::currentThread() != m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
    TARSEL_TAKE_OVER(this);
    m_thread->deleteLater();
    delete m_currentRequest;
    qCDebug(lcHttp, "HttpConnectionHandler (%p): destroyed", static_cast<void *>(this));
}

bool HttpConnectionHandler::isValid() const
{
    return m_thread->isRunning();
}

void HttpConnectionHandler::setBusy(const QHostAddress &peer)
{
    m_peer = peer;
    m_busy.store(true);
}

void HttpConnectionHandler::stop()
{
    m_stopping.store(true);
    m_thread->quit();
}

bool HttpConnectionHandler::finishOrDetach(QDeadlineTimer deadline)
{
    if (m_thread->wait(deadline))
        return true;
    qCCritical(lcHttp, "HttpConnectionHandler (%p): still serving a request at shutdown, left to end on its own",
        static_cast<void *>(this));
    connect(m_thread, &QThread::finished, this, &QObject::deleteLater, Qt::DirectConnection);
    return false;
}

void HttpConnectionHandler::createSocket()
{
    if (m_sslConfiguration) {
        auto *sslSocket = new QSslSocket;
        sslSocket->setSslConfiguration(*m_sslConfiguration);
        m_socket = sslSocket;
        qCDebug(lcHttp, "HttpConnectionHandler (%p): SSL is enabled", static_cast<void *>(this));
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
    qCDebug(lcHttp, "HttpConnectionHandler (%p): thread stopped", static_cast<void *>(this));
    TARSEL_HAND_OVER(this);
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    TARSEL_TAKE_OVER(this);
    qCDebug(lcHttp, "HttpConnectionHandler (%p): handle new connection", static_cast<void *>(this));
    m_busy.store(true);

    // The socket is reused: bring it back to a clean unconnected state first.
    m_socket->abort();
    delete m_currentRequest;
    m_currentRequest = nullptr;

    if (m_stopping.load()
        || !m_socket->setSocketDescriptor(socketDescriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): cannot initialize socket: %s", static_cast<void *>(this),
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
    m_holdsConnection = true;

    if (m_sslConfiguration) {
        qCDebug(lcHttp, "HttpConnectionHandler (%p): Starting encryption", static_cast<void *>(this));
        static_cast<QSslSocket *>(m_socket)->startServerEncryption();
    }

    m_readTimeout = qMax(1, m_settings->value("readTimeout", 10000).toInt());
    m_maxRequestSize = m_settings->value("maxRequestSize", "16000").toLongLong();
    m_maxMultiPartSize = m_settings->value("maxMultiPartSize", "1000000").toLongLong();
    startReadTimer();
}

// The request line and headers of the next request, and the wait for it, share one period: the
// timer is not restarted by the bytes that arrive.
void HttpConnectionHandler::startReadTimer()
{
    m_inBody = false;
    armReadTimer();
}

void HttpConnectionHandler::startBodyWindow()
{
    m_inBody = true;
    m_windowBytes = 0;
    armReadTimer();
}

// The period ends at a deadline; the timer runs on from request to request and, when it fires
// early, waits for the rest. Starting and stopping a timer for each request of a keep-alive
// connection would cost more than the request itself.
void HttpConnectionHandler::armReadTimer()
{
    m_readDeadline.setRemainingTime(m_readTimeout);
    if (!m_readTimer.isActive())
        m_readTimer.start(m_readTimeout);
}

void HttpConnectionHandler::stopReadTimer()
{
    m_readDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
}

void HttpConnectionHandler::waitForWritten()
{
    while (!m_stopping.load() && m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(writeWaitMs))
            break;
    }
}

// A client that takes none of the rest of its answer is not waited for: closing gracefully would
// keep the handler busy for as long as the bytes stay unsent.
void HttpConnectionHandler::closeAfterWriting()
{
    waitForWritten();
    if (m_socket->bytesToWrite() > 0)
        m_socket->abort();
    else
        m_socket->disconnectFromHost();
}

void HttpConnectionHandler::readTimeout()
{
    if (m_readDeadline.isForever())
        return;
    if (!m_readDeadline.hasExpired()) {
        m_readTimer.start(int(qMax<qint64>(1, m_readDeadline.remainingTime())));
        return;
    }
    if (m_inBody && m_windowBytes >= minBodyBytesPerSecond * m_readTimeout / 1000) {
        startBodyWindow();
        return;
    }
    qCDebug(lcHttp, "HttpConnectionHandler (%p): read timeout occured", static_cast<void *>(this));
    m_inBody = false;
    closeAfterWriting();
    endRequest();
}

void HttpConnectionHandler::disconnected()
{
    qCDebug(lcHttp, "HttpConnectionHandler (%p): disconnected", static_cast<void *>(this));
    m_socket->close();
    m_readTimer.stop();
    // A disconnect noticed while the request handler writes (inside a wait for the socket) must
    // neither free the request under it nor hand the handler to the next connection.
    if (m_serving)
        return;
    // A request cut off by the peer would otherwise keep its upload on disk until the next
    // connection.
    endRequest();
    releaseConnection();
}

// The pool may hand the handler out again as soon as it is free: that happens once per
// connection, or a second release (the disconnect, then the end of the read that noticed it)
// could free it while its next connection is already on its way, which would then be cut off by
// the one after.
void HttpConnectionHandler::releaseConnection()
{
    if (!m_holdsConnection)
        return;
    m_holdsConnection = false;
    m_busy.store(false);
}

void HttpConnectionHandler::endRequest()
{
    delete m_currentRequest;
    m_currentRequest = nullptr;
}

void HttpConnectionHandler::becomeIdleUnlessConnected()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        m_readTimer.stop();
        endRequest();
        releaseConnection();
    }
}

void HttpConnectionHandler::refuse(int status)
{
    m_socket->write(refusal(status));
    closeAfterWriting();
    endRequest();
}

void HttpConnectionHandler::read()
{
    // Nothing thrown may leave the thread's event loop: that would end the process.
    try {
        readRequests();
    } catch (const std::exception &e) {
        qCCritical(
            lcHttp, "HttpConnectionHandler (%p): failed reading a request: %s", static_cast<void *>(this), e.what());
        m_serving = false;
        refuse(500);
    } catch (...) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): failed reading a request", static_cast<void *>(this));
        m_serving = false;
        refuse(500);
    }
    becomeIdleUnlessConnected();
}

// Asks the request handler whether the body may come. A refused request has its answer written
// and the connection closed with the body unread: reading it would hold this thread for as long
// as the client takes to send it.
bool HttpConnectionHandler::admitBody()
{
    HttpResponse response(m_socket, &m_stopping, !m_sslConfiguration);
    response.setHeader("Connection", "close");
    bool accepted = false;
    m_serving = true;
    try {
        accepted = m_requestHandler->acceptsBody(*m_currentRequest, response);
    } catch (const std::exception &e) {
        qCCritical(
            lcHttp, "HttpConnectionHandler (%p): the request handler failed: %s", static_cast<void *>(this), e.what());
        response.fail();
    } catch (...) {
        qCCritical(lcHttp, "HttpConnectionHandler (%p): the request handler failed", static_cast<void *>(this));
        response.fail();
    }
    m_serving = false;
    if (accepted)
        return true;
    qCDebug(lcHttp, "HttpConnectionHandler (%p): request refused before its body", static_cast<void *>(this));
    m_readTimer.stop();
    if (!response.hasSentLastPart())
        response.write(QByteArray(), true);
    closeAfterWriting();
    endRequest();
    return false;
}

// The rest of a body that goes to a file (FileBodyDevice) moves from the socket into it by the
// kernel, through a pipe, without a copy in this process; the bytes the socket has read already
// go the ordinary way first. The thread waits for the body here, with the same rules as on the
// event loop: at least minBodyBytesPerSecond over each "readTimeout" period, and stop() ends
// the wait. Returns false when the connection is over (cut off, too slow, stopping): the body
// is then not complete, and its device undoes what it wrote. Also true when the kernel cannot
// move the bytes (TLS, no splice for this socket): the body then arrives the ordinary way.
bool HttpConnectionHandler::moveBodyByKernel()
{
    auto *device = qobject_cast<FileBodyDevice *>(m_currentRequest->bodyDevice());
    if (!device || m_sslConfiguration)
        return true;
    while (m_socket->bytesAvailable() > 0 && m_currentRequest->status() == HttpRequest::WaitingForBody)
        m_currentRequest->readFromSocket(m_socket);
    if (m_currentRequest->status() != HttpRequest::WaitingForBody)
        return true;
    const BodyPipe pipe;
    const int socketFd = int(m_socket->socketDescriptor());
    if (!pipe.isValid() || socketFd < 0)
        return true;

    QDeadlineTimer window(m_readTimeout);
    m_windowBytes = 0;
    bool first = true;
    while (qint64 left = m_currentRequest->bodyBytesLeft()) {
        if (m_stopping.load())
            break;
        const ssize_t moved = ::splice(socketFd, nullptr, pipe.fds[1], nullptr,
            size_t(qMin<qint64>(left, bodyPipeSize)), SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (moved > 0) {
            first = false;
            emptyPipe(pipe.fds[0], device, moved);
            m_windowBytes += moved;
            m_currentRequest->bodyBytesMoved(moved);
            continue;
        }
        if (moved == 0) {
            qCDebug(lcHttp, "HttpConnectionHandler (%p): body cut off", static_cast<void *>(this));
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            // Nothing moved yet: the socket takes the ordinary way.
            if (first)
                return true;
            qCWarning(lcHttp, "HttpConnectionHandler (%p): moving the body failed: %s", static_cast<void *>(this),
                strerror(errno));
            break;
        }
        if (!waitForBody(socketFd, window))
            break;
    }
    return bodyEnded();
}

// Waits in poll() for more of a body that the thread reads itself, in short slices; false when
// the body came too slowly: fewer than minBodyBytesPerSecond over the "readTimeout" period.
bool HttpConnectionHandler::waitForBody(int socketFd, QDeadlineTimer &window)
{
    if (window.hasExpired()) {
        if (m_windowBytes < minBodyBytesPerSecond * m_readTimeout / 1000) {
            qCDebug(lcHttp, "HttpConnectionHandler (%p): read timeout occured", static_cast<void *>(this));
            return false;
        }
        window.setRemainingTime(m_readTimeout);
        m_windowBytes = 0;
    }
    pollfd ready { socketFd, POLLIN, 0 };
    ::poll(&ready, 1, int(qMin<qint64>(window.remainingTime(), bodyPollSliceMs)));
    return true;
}

// After the thread read a body itself: true when the request is complete or aborted (it is
// answered as usual), false when the body stopped short and the connection was given up.
bool HttpConnectionHandler::bodyEnded()
{
    if (m_currentRequest->status() != HttpRequest::WaitingForBody)
        return true;
    m_readTimer.stop();
    m_inBody = false;
    m_socket->abort();
    endRequest();
    return false;
}

// The rest of a multipart body is read from the socket's descriptor straight into the request's
// buffer (HttpRequest::bodySpace), in reads as large as that offers, rather than through Qt's
// read buffer and one pass of the event loop per block: a copy less, and large writes to the
// file parts. The rules are those of moveBodyByKernel(); a TLS connection reads the ordinary way.
bool HttpConnectionHandler::readBodyDirectly()
{
    qint64 room = 0;
    if (m_sslConfiguration || !m_currentRequest->bodySpace(&room))
        return true;
    while (m_socket->bytesAvailable() > 0 && m_currentRequest->status() == HttpRequest::WaitingForBody)
        m_currentRequest->readFromSocket(m_socket);
    const int socketFd = int(m_socket->socketDescriptor());
    if (m_currentRequest->status() != HttpRequest::WaitingForBody || socketFd < 0)
        return true;

    QDeadlineTimer window(m_readTimeout);
    m_windowBytes = 0;
    while (char *space = m_currentRequest->bodySpace(&room)) {
        if (m_stopping.load())
            break;
        const ssize_t got = ::read(socketFd, space, size_t(room));
        if (got > 0) {
            m_windowBytes += got;
            m_currentRequest->bodyBytesArrived(got);
            continue;
        }
        if (got == 0) {
            qCDebug(lcHttp, "HttpConnectionHandler (%p): body cut off", static_cast<void *>(this));
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            qCWarning(lcHttp, "HttpConnectionHandler (%p): reading the body failed: %s", static_cast<void *>(this),
                strerror(errno));
            break;
        }
        if (!waitForBody(socketFd, window))
            break;
    }
    return bodyEnded();
}

void HttpConnectionHandler::readRequests()
{
    while (m_socket->bytesAvailable() > 0 && m_socket->state() == QAbstractSocket::ConnectedState) {
        if (!m_currentRequest) {
            m_currentRequest = new HttpRequest(m_maxRequestSize, m_maxMultiPartSize);
            m_currentRequest->setUploadHandler(m_requestHandler);
        }

        while (m_socket->bytesAvailable() > 0 && m_currentRequest->status() != HttpRequest::Complete
            && m_currentRequest->status() != HttpRequest::Aborted) {
            const bool inHeader = m_currentRequest->status() == HttpRequest::WaitingForHeader;
            const qint64 available = m_socket->bytesAvailable();
            m_currentRequest->readFromSocket(m_socket);
            if (m_currentRequest->status() == HttpRequest::WaitingForBody) {
                // The header block is complete and the announced size within the limits (a body
                // over them has aborted the request, which gets the 413 without this line).
                if (inHeader) {
                    if (!admitBody())
                        return;
                    if (expectsContinue(*m_currentRequest)) {
                        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
                        m_socket->flush();
                    }
                    startBodyWindow();
                    if (!moveBodyByKernel() || !readBodyDirectly())
                        return;
                } else {
                    m_windowBytes += available - m_socket->bytesAvailable();
                }
            }
        }

        if (m_currentRequest->status() == HttpRequest::Aborted) {
            refuse(m_currentRequest->errorStatus());
            return;
        }

        if (m_currentRequest->status() != HttpRequest::Complete)
            return;

        stopReadTimer();
        m_inBody = false;
        qCDebug(lcHttp, "HttpConnectionHandler (%p): received request", static_cast<void *>(this));

        HttpResponse response(m_socket, &m_stopping, !m_sslConfiguration);
        response.setHeadersOnly(m_currentRequest->method().compare("HEAD", Qt::CaseInsensitive) == 0);
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
        } catch (const std::exception &e) {
            qCCritical(lcHttp, "HttpConnectionHandler (%p): the request handler failed: %s", static_cast<void *>(this),
                e.what());
            closeConnection = true;
            response.fail();
        } catch (...) {
            qCCritical(lcHttp, "HttpConnectionHandler (%p): the request handler failed", static_cast<void *>(this));
            closeConnection = true;
            response.fail();
        }

        if (!response.hasSentLastPart())
            response.write(QByteArray(), true);
        m_serving = false;
        qCDebug(lcHttp, "HttpConnectionHandler (%p): finished request", static_cast<void *>(this));

        // A body cut short (the handler stopped early, a file shrank, the client went) leaves
        // the client waiting for bytes that will not come: only the end of the connection tells it.
        if (response.isIncomplete())
            closeConnection = true;
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

        endRequest();

        if (closeConnection || m_stopping.load()) {
            closeAfterWriting();
            return;
        }
        // The peer may have gone while the request was served; then there is nothing to wait for.
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        startReadTimer();
    }
}

} // namespace tarsel
