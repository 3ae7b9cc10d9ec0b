#include "httpresponse.h"

#include <QTcpSocket>

namespace tarsel {

namespace {

// Above this many pending output bytes a write waits for the peer, so a streamed body never
// piles up in memory.
constexpr qint64 maxPendingOutputBytes = 16384;
// A peer that takes none of our bytes for this long is given up, so a stalled client cannot
// hold a connection thread forever.
constexpr int stalledWriteTimeoutMs = 30000;

} // namespace

HttpResponse::HttpResponse(QTcpSocket *socket)
    : m_socket(socket)
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
    return m_socket->isOpen();
}

void HttpResponse::write(const QByteArray &data, bool lastPart)
{
    // The response is complete; more bytes would corrupt the next response on the connection.
    if (m_sentLastPart)
        return;
    if (!m_sentHeaders) {
        if (lastPart) {
            setHeader("Content-Length", QByteArray::number(data.size()));
        } else {
            QByteArray connectionValue = m_headers.value("Connection", m_headers.value("connection"));
            if (connectionValue.toLower() != "close") {
                setHeader("Transfer-Encoding", "chunked");
                m_chunkedMode = true;
            }
        }
        // A small complete body leaves in the same segment as the headers.
        if (lastPart && data.size() <= maxPendingOutputBytes) {
            writeHeaders(data);
            m_sentLastPart = true;
            return;
        }
        writeHeaders();
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
    }

    if (lastPart) {
        if (m_chunkedMode)
            writeToSocket("0\r\n\r\n");
        m_socket->flush();
        m_sentLastPart = true;
    }
}

void HttpResponse::writeHeaders(const QByteArray &body)
{
    QByteArray buffer;
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

void HttpResponse::writeToSocket(const QByteArray &data)
{
    qint64 remaining = data.size();
    const char *next = data.constData();
    while (m_socket->isOpen() && remaining > 0) {
        if (m_socket->bytesToWrite() > maxPendingOutputBytes) {
            if (!m_socket->waitForBytesWritten(stalledWriteTimeoutMs)) {
                if (m_socket->error() == QAbstractSocket::SocketTimeoutError)
                    m_socket->abort();
                return;
            }
        }
        const qint64 written = m_socket->write(next, remaining);
        if (written == -1)
            return;
        next += written;
        remaining -= written;
    }
}

} // namespace tarsel
