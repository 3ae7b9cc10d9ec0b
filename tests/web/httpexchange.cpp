#include "httpexchange.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace testsupport {

HttpExchange::HttpExchange(quint16 port, const QByteArray &request, const QHostAddress &from, QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QTcpSocket::readyRead, this, [this] {
        if (paused)
            return;
        raw += socket.readAll();
        parse();
    });
    connect(&socket, &QTcpSocket::disconnected, this, [this] {
        if (socket.isOpen())
            raw += socket.readAll();
        closed = true;
        parse();
        if (!finished) {
            finished = true;
            emit done();
        }
    });
    if (from != QHostAddress(QHostAddress::LocalHost))
        socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
}

void HttpExchange::setPaused(bool pause)
{
    paused = pause;
    socket.setReadBufferSize(pause ? 65536 : 0);
    if (!pause && socket.bytesAvailable() > 0) {
        raw += socket.readAll();
        parse();
    }
}

bool HttpExchange::wait(int timeoutMs)
{
    if (!finished) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &HttpExchange::done, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop.exec();
    }
    return finished && status != 0;
}

void HttpExchange::parse()
{
    if (finished)
        return;
    // Interim answers ("100 Continue" to "Expect: 100-continue") come before the real one.
    while (raw.startsWith("HTTP/1.1 1") || raw.startsWith("HTTP/1.0 1")) {
        const int interimEnd = raw.indexOf("\r\n\r\n");
        if (interimEnd < 0)
            return;
        raw.remove(0, interimEnd + 4);
        ++interimResponses;
    }
    const int headerEnd = raw.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = raw.left(headerEnd).split('\n');
    statusLine = lines.value(0).trimmed();
    status = statusLine.split(' ').value(1).toInt();
    headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    const QByteArray rest = raw.mid(headerEnd + 4);
    bool complete = false;
    if (headers.value("transfer-encoding").compare("chunked", Qt::CaseInsensitive) == 0) {
        QByteArray decoded;
        int pos = 0;
        while (true) {
            const int lineEnd = rest.indexOf("\r\n", pos);
            if (lineEnd < 0)
                break;
            bool ok = false;
            const int size = rest.mid(pos, lineEnd - pos).toInt(&ok, 16);
            if (!ok)
                break;
            if (size == 0) {
                complete = rest.indexOf("\r\n", lineEnd + 2) >= 0;
                break;
            }
            if (rest.size() < lineEnd + 2 + size + 2)
                break;
            decoded += rest.mid(lineEnd + 2, size);
            pos = lineEnd + 2 + size + 2;
        }
        body = decoded;
    } else if (headers.contains("content-length")) {
        const qint64 length = headers.value("content-length").toLongLong();
        body = rest.left(int(length));
        complete = rest.size() >= length;
    } else {
        body = rest;
        complete = closed;
    }
    if (complete || closed) {
        finished = true;
        socket.disconnect(this);
        socket.abort();
        emit done();
    }
}

namespace {

QByteArray shareKey;
QByteArray receiveKey;

} // namespace

void useKeyOf(const QString &link)
{
    if (link.isEmpty()) {
        shareKey.clear();
        receiveKey.clear();
    } else if (link.contains(QLatin1String("/s/"))) {
        shareKey = keyOf(link).toLatin1();
    } else if (link.contains(QLatin1String("/r/"))) {
        receiveKey = keyOf(link).toLatin1();
    }
}

QString keyOf(const QString &link)
{
    return link.mid(link.lastIndexOf(QLatin1Char('/')) + 1);
}

QByteArray keyCookieHeader()
{
    QList<QByteArray> cookies;
    if (!shareKey.isEmpty())
        cookies << "orvex_share=" + shareKey;
    if (!receiveKey.isEmpty())
        cookies << "orvex_receive=" + receiveKey;
    return cookies.isEmpty() ? QByteArray() : "Cookie: " + cookies.join("; ") + "\r\n";
}

QByteArray multipartRequest(const QByteArray &path, const QList<FormField> &fields, const QByteArray &extraHeaders)
{
    const QByteArray boundary = "----orvexTestBoundary7MA4YWxkTrZu0gW";
    QByteArray body;
    for (const FormField &field : fields) {
        body += "--" + boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + field.name + '"';
        if (!field.fileName.isNull())
            body += "; filename=\"" + field.fileName + '"';
        body += "\r\n";
        if (!field.fileName.isNull())
            body += "Content-Type: application/octet-stream\r\n";
        body += "\r\n" + field.value + "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + keyCookieHeader() + extraHeaders
        + "Content-Type: multipart/form-data; boundary=" + boundary
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + keyCookieHeader() + extraHeaders + "\r\n";
}

int runTool(const QString &program, const QStringList &arguments, QByteArray *output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::unique_ptr<HttpExchange> exchange(quint16 port, const QByteArray &request, const QHostAddress &from)
{
    auto x = std::make_unique<HttpExchange>(port, request, from);
    x->wait();
    return x;
}

} // namespace testsupport
