#include "httpresponse.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace tarsel {

namespace {

// Above this many pending output bytes a write waits for the peer, so a streamed body never
// piles up in memory.
constexpr qint64 maxPendingOutputBytes = 16384;
// A peer that takes none of our bytes for this long is given up, so a stalled client cannot
// hold a connection thread forever.
constexpr int stalledWriteTimeoutMs = 30000;
// The wait for a stalled peer is cut in slices this long, to notice a server shutting down.
constexpr int stalledWriteSliceMs = 250;

} // namespace

HttpResponse::HttpResponse(QTcpSocket *socket)
    : m_socket(socket)
{
}

HttpResponse::HttpResponse(QTcpSocket *socket, const std::atomic<bool> *cancelled, bool directWrites)
    : m_socket(socket)
    , m_cancelled(cancelled)
    , m_directWrites(directWrites && socket->socketDescriptor() >= 0)
{
}

void HttpResponse::setHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.insert(name, value);
}

void HttpResponse::setHeader(const QByteArray &name, int value)
{
    setHeader(name, QByteArray::number(value));
}

void HttpResponse::setHeader(const QByteArray &name, qint64 value)
{
    setHeader(name, QByteArray::number(value));
}

void HttpResponse::setStatus(int statusCode, const QByteArray &description)
{
    m_statusCode = statusCode;
    m_statusText = description;
}

void HttpResponse::setCookie(const HttpCookie &cookie)
{
    if (!cookie.name().isEmpty())
        m_cookies.insert(cookie.name(), cookie);
}

void HttpResponse::redirect(const QByteArray &url)
{
    setStatus(303, "See Other");
    setHeader("Location", url);
    write("Redirect", true);
}

void HttpResponse::flush()
{
    m_socket->flush();
}

bool HttpResponse::isConnected() const
{
    return !m_failed && !isCancelled() && m_socket->isOpen() && m_socket->state() == QAbstractSocket::ConnectedState;
}

void HttpResponse::fail()
{
    if (m_sentHeaders) {
        m_sentLastPart = true;
        return;
    }
    m_headers.clear();
    m_cookies.clear();
    setHeader("Connection", "close");
    setStatus(500, "Internal Server Error");
    write("500 Internal server error\r\n", true);
}

bool HttpResponse::isIncomplete() const
{
    return m_failed || (!m_headersOnly && m_announcedLength >= 0 && m_bodyWritten < m_announcedLength);
}

bool HttpResponse::write(const QByteArray &data, bool lastPart)
{
    // The response is complete; more bytes would corrupt the next response on the connection.
    if (m_sentLastPart)
        return false;
    if (!m_sentHeaders) {
        bool announced = false;
        const qint64 length = m_headers.value("Content-Length").toLongLong(&announced);
        announced = announced && length >= 0;
        m_announcedLength = announced ? length : -1;
        // A whole body in one write states its own length; the empty closing write after a
        // handler that announced a length and sent nothing does not.
        if (lastPart && (!announced || !data.isEmpty())) {
            setHeader("Content-Length", QByteArray::number(data.size()));
            m_announcedLength = data.size();
        } else if (!announced) {
            QByteArray connectionValue = m_headers.value("Connection", m_headers.value("connection"));
            if (connectionValue.toLower() != "close") {
                setHeader("Transfer-Encoding", "chunked");
                m_chunkedMode = true;
            }
        }
        if (m_headersOnly) {
            writeHeaders();
            m_sentLastPart = lastPart;
            return !m_failed;
        }
        // A small complete body leaves in the same segment as the headers.
        if (lastPart && data.size() <= maxPendingOutputBytes && data.size() == m_announcedLength) {
            writeHeaders(data);
            m_bodyWritten = data.size();
            m_sentLastPart = true;
            return !m_failed;
        }
        writeHeaders();
    }
    if (m_headersOnly) {
        m_sentLastPart = lastPart;
        return !m_failed;
    }
    // Bytes past the announced length would be read as the start of the next response.
    if (m_announcedLength >= 0 && data.size() > m_announcedLength - m_bodyWritten) {
        m_failed = true;
        return false;
    }

    if (!data.isEmpty()) {
        if (m_chunkedMode) {
            QByteArray chunk = QByteArray::number(data.size(), 16);
            chunk.append("\r\n");
            // Small chunks go out in one buffer; large ones are not copied.
            if (data.size() <= 4096) {
                chunk.append(data).append("\r\n");
                writeToSocket(chunk);
            } else {
                writeToSocket(chunk);
                writeToSocket(data);
                writeToSocket("\r\n");
            }
        } else {
            writeToSocket(data);
        }
        if (!m_failed)
            m_bodyWritten += data.size();
    }

    if (lastPart) {
        if (m_chunkedMode)
            writeToSocket("0\r\n\r\n");
        m_socket->flush();
        m_sentLastPart = true;
    }
    return !m_failed;
}

void HttpResponse::writeHeaders(const QByteArray &body)
{
    // One allocation for the whole block in the common case.
    int size = 64 + m_statusText.size() + body.size();
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it)
        size += it.key().size() + it.value().size() + 4;
    QByteArray buffer;
    buffer.reserve(size + 128 * m_cookies.size());
    buffer.append("HTTP/1.1 ");
    buffer.append(QByteArray::number(m_statusCode));
    buffer.append(' ');
    buffer.append(m_statusText);
    buffer.append("\r\n");
    for (auto it = m_headers.cbegin(); it != m_headers.cend(); ++it)
        buffer.append(it.key()).append(": ").append(it.value()).append("\r\n");
    for (auto it = m_cookies.cbegin(); it != m_cookies.cend(); ++it)
        buffer.append("Set-Cookie: ").append(it.value().toByteArray()).append("\r\n");
    buffer.append("\r\n");
    buffer.append(body);
    writeToSocket(buffer);
    m_socket->flush();
    m_sentHeaders = true;
}

bool HttpResponse::writeToSocket(const QByteArray &data)
{
    qint64 remaining = data.size();
    const char *next = data.constData();
    while (remaining > 0 && !m_failed) {
        if (isCancelled() || !m_socket->isOpen()) {
            m_failed = true;
            break;
        }
        int waitedMs = 0;
        while (m_socket->bytesToWrite() > maxPendingOutputBytes && !m_failed) {
            if (m_socket->waitForBytesWritten(stalledWriteSliceMs))
                continue;
            waitedMs += stalledWriteSliceMs;
            const bool timedOut = m_socket->state() == QAbstractSocket::ConnectedState
                && m_socket->error() == QAbstractSocket::SocketTimeoutError;
            if (!timedOut || waitedMs >= stalledWriteTimeoutMs || isCancelled()) {
                if (timedOut)
                    m_socket->abort();
                m_failed = true;
            }
        }
        if (m_failed)
            break;
        if (m_directWrites && m_socket->bytesToWrite() == 0) {
            // Straight to the connection while Qt holds nothing for it: no copy into its buffer
            // and no write notifier to switch on and off (each a wake-up of the event loop).
            // What the kernel does not take, or an error, goes the ordinary way, which waits
            // for the socket or notices the failure.
            const ssize_t sent = ::send(int(m_socket->socketDescriptor()), next, size_t(remaining),
                MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent > 0) {
                next += sent;
                remaining -= sent;
                continue;
            }
        }
        const qint64 written = m_socket->write(next, remaining);
        if (written == -1) {
            m_failed = true;
            break;
        }
        next += written;
        remaining -= written;
    }
    return !m_failed;
}

} // namespace tarsel
