#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <memory>

namespace testsupport {

// One HTTP request over a fresh loopback connection, answered asynchronously: several
// exchanges can be in flight at once while wait() runs the event loop (the server's listener
// lives in the test's thread, so a blocking client would starve it). The client may bind to
// another loopback address (127.0.0.2...) to appear as a different host.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    HttpExchange(quint16 port, const QByteArray &request, const QHostAddress &from = QHostAddress::LocalHost,
        QObject *parent = nullptr);

    // True once a whole response arrived (by Content-Length, chunked framing or the connection
    // closing), false on time-out.
    bool wait(int timeoutMs = 30000);

    int status = 0;
    QByteArray statusLine;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QByteArray raw;
    // Interim answers received before the response, such as "100 Continue".
    int interimResponses = 0;

    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }

    // While paused, nothing is read: once the socket's small read buffer is full, the server's
    // writes stall, which keeps its handler inside the request.
    void setPaused(bool paused);
    // More of the request, for one sent in pieces; abort() cuts the connection.
    void send(const QByteArray &more) { socket.write(more); }
    void abort() { socket.abort(); }
    qint64 bytesWaiting() const { return socket.bytesAvailable(); }

signals:
    void done();

private:
    void parse();

    QTcpSocket socket;
    bool finished = false;
    bool closed = false;
    bool paused = false;
};

struct FormField
{
    QByteArray name;
    QByteArray value;
    QByteArray fileName; // set for a file part
};

// From now on, requests built by multipartRequest() and getRequest() carry the key of link (a
// share link ".../s/<key>" or an upload link ".../r/<key>") in its cookie, as a browser does
// after it opened the link. The other kind of key is kept; an empty link forgets both.
void useKeyOf(const QString &link);
// The key part of a link.
QString keyOf(const QString &link);
// The Cookie header useKeyOf() adds, with its line end; empty when no key is in use.
QByteArray keyCookieHeader();

// A multipart/form-data POST request with the fields in order.
QByteArray multipartRequest(
    const QByteArray &path, const QList<FormField> &fields, const QByteArray &extraHeaders = QByteArray());

QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders = QByteArray());

// Runs a command-line client (curl, python3) to its end while this thread's event loop goes on
// serving; returns its exit code (-1 when it crashed or took longer than timeoutMs) and puts
// its standard output into output.
int runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr, int timeoutMs = 60000);

// Sends request and waits for the answer.
std::unique_ptr<HttpExchange> exchange(
    quint16 port, const QByteArray &request, const QHostAddress &from = QHostAddress::LocalHost);

} // namespace testsupport
