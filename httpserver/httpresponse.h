#pragma once

#include "httpserver/httpcookie.h"

#include <QByteArray>
#include <QMap>

#include <atomic>

class QTcpSocket;

namespace tarsel {

// Writes one response straight to the connection's socket. Status, headers and cookies must be
// set before the first write(). A single write() with lastPart true gives a "Content-Length"
// response. Several writes give a raw body of the length the handler set in "Content-Length"
// before the first write (the connection stays open for the next request once all of it was
// written), or else chunked encoding, or a raw body ended by closing the connection when the
// handler set "Connection: close". The answer to a HEAD request carries the headers only.
class HttpResponse
{
public:
    explicit HttpResponse(QTcpSocket *socket);
    // The connection handler's: once cancelled is set (server shutting down), writes fail. With
    // directWrites (a plain TCP connection, never TLS) bytes go straight to the socket's
    // descriptor whenever Qt has none of its own waiting.
    HttpResponse(QTcpSocket *socket, const std::atomic<bool> *cancelled, bool directWrites = false);

    void setHeader(const QByteArray &name, const QByteArray &value);
    void setHeader(const QByteArray &name, int value);
    // Sizes of files above 2 GiB would not fit the int overload.
    void setHeader(const QByteArray &name, qint64 value);
    QMap<QByteArray, QByteArray> &headers() { return m_headers; }

    // The answer to a HEAD request: whatever is written, only the headers are sent.
    void setHeadersOnly(bool headersOnly) { m_headersOnly = headersOnly; }
    bool headersOnly() const { return m_headersOnly; }

    void setStatus(int statusCode, const QByteArray &description = QByteArray());
    int statusCode() const { return m_statusCode; }

    // After a call with lastPart true no further write is allowed. Returns false when the bytes
    // could not all be handed to the connection: the client is gone or stalled, or the server
    // stops. A send loop ends on false; nothing more of the response reaches the client.
    bool write(const QByteArray &data, bool lastPart = false);
    bool hasSentLastPart() const { return m_sentLastPart; }
    bool hasSentHeaders() const { return m_sentHeaders; }
    // Fewer body bytes were sent than "Content-Length" announced, or a write failed: the client
    // cannot tell where the next response would begin, so the connection must be closed.
    bool isIncomplete() const;

    // A cookie with an empty name is ignored; one of the same name is replaced.
    void setCookie(const HttpCookie &cookie);
    QMap<QByteArray, HttpCookie> &cookies() { return m_cookies; }

    // 303 "See Other" to url with the body "Redirect".
    void redirect(const QByteArray &url);

    void flush();
    // False once the client has gone, a write has failed or the server stops: a cheap check for a
    // long send loop between writes.
    bool isConnected() const;

    // After the request handler failed: a short 500 answer that closes the connection if nothing
    // was sent yet; otherwise the response is cut off, and the connection must be closed.
    void fail();

private:
    // Status line, headers and cookies, followed by body if given.
    void writeHeaders(const QByteArray &body = QByteArray());
    bool writeToSocket(const QByteArray &data);
    bool isCancelled() const { return m_cancelled && m_cancelled->load(); }

    QTcpSocket *m_socket;
    const std::atomic<bool> *m_cancelled = nullptr;
    bool m_directWrites = false;
    bool m_failed = false;
    QMap<QByteArray, QByteArray> m_headers;
    int m_statusCode = 200;
    QByteArray m_statusText = "OK";
    bool m_sentHeaders = false;
    bool m_sentLastPart = false;
    bool m_chunkedMode = false;
    bool m_headersOnly = false;
    // The body length announced with "Content-Length" (-1: none) and the body bytes sent so far.
    qint64 m_announcedLength = -1;
    qint64 m_bodyWritten = 0;
    QMap<QByteArray, HttpCookie> m_cookies;
};

} // namespace tarsel
