#include "testhandler.h"

#include "httpserver/httprequest.h"
#include "httpserver/httpresponse.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <stdexcept>

namespace httptest {

bool TestHandler::acceptsBody(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    if (request.path() != "/refused")
        return true;
    response.setStatus(403, "Forbidden");
    response.write("refused", true);
    return false;
}

void TestHandler::service(tarsel::HttpRequest &request, tarsel::HttpResponse &response)
{
    const QByteArray path = request.path();
    if (path == "/length") {
        response.write("abc", true);
    } else if (path == "/chunked") {
        response.write("abc");
        response.write("de", true);
    } else if (path == "/raw") {
        response.setHeader("Connection", "close");
        response.write("abc");
        response.write("de", true);
    } else if (path == "/nothing") {
    } else if (path == "/throw") {
        response.setStatus(202, "Accepted");
        throw std::runtime_error("handler failed");
    } else if (path == "/headers") {
        response.setHeader("X-B", "2");
        response.setHeader("X-A", 1);
        response.setCookie(tarsel::HttpCookie("s", "1", 0));
        response.setCookie(tarsel::HttpCookie("a", "2", 60, "/"));
        response.write("x", true);
    } else if (path == "/redirect") {
        response.redirect("/x");
    } else if (path == "/base") {
        HttpRequestHandler::service(request, response);
    } else if (path == "/echo") {
        response.write(request.parameter("x"), true);
    } else if (path == "/upload") {
        QTemporaryFile *file = request.uploadedFile("file");
        if (!file) {
            response.setStatus(400, "Bad Request");
            response.write("no file", true);
            return;
        }
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(file);
        response.write(hash.result().toHex() + ' ' + QByteArray::number(file->size()) + ' ' + request.parameter("file")
                + ' ' + request.parameter("note"),
            true);
    } else if (path == "/stream") {
        qint64 remaining = request.parameter("n").toLongLong();
        const QByteArray part(10000, 'x');
        while (remaining > 0) {
            const qint64 size = qMin<qint64>(remaining, part.size());
            response.write(part.left(int(size)));
            remaining -= size;
        }
        response.write(QByteArray(), true);
    } else {
        response.setStatus(404, "Not Found");
        response.write("not found", true);
    }
}

TestSettings::TestSettings(const QVariantMap &values)
    : m_settings(std::make_unique<QSettings>(m_dir.filePath("listener.ini"), QSettings::IniFormat))
{
    m_settings->setValue("host", "127.0.0.1");
    m_settings->setValue("port", 0);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_settings->setValue(it.key(), it.value());
}

Client::Client(quint16 port, QObject *parent)
    : QObject(parent)
{
    connect(&socket, &QTcpSocket::readyRead, this, [this] { received.append(socket.readAll()); });
    connect(&socket, &QTcpSocket::disconnected, this, [this] { closed = true; });
    socket.connectToHost(QHostAddress::LocalHost, port);
}

void Client::send(const QByteArray &data)
{
    socket.write(data);
}

namespace {

// Guards the current capture against log lines of other threads while it is installed and removed.
std::mutex captureMutex;
LogCapture *currentCapture = nullptr;

} // namespace

LogCapture::LogCapture()
{
    m_clock.start();
    std::lock_guard<std::mutex> locker(captureMutex);
    currentCapture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handle);
    // The server's debug lines are off by default; a capture sees them.
    QLoggingCategory::setFilterRules(QStringLiteral("orvex.http.debug=true"));
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> locker(captureMutex);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(m_previous);
    currentCapture = nullptr;
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_lines;
}

int LogCapture::count(const QString &prefix) const
{
    return times(prefix).size();
}

QList<qint64> LogCapture::times(const QString &prefix) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    QList<qint64> result;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines.at(i).startsWith(prefix))
            result.append(m_times.at(i));
    }
    return result;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler forward = nullptr;
    {
        std::lock_guard<std::mutex> locker(captureMutex);
        LogCapture *capture = currentCapture;
        if (!capture)
            return;
        std::lock_guard<std::mutex> linesLocker(capture->m_mutex);
        capture->m_lines.append(message);
        capture->m_times.append(capture->m_clock.elapsed());
        if (type != QtDebugMsg)
            forward = capture->m_previous;
    }
    if (forward)
        forward(type, context, message);
}

} // namespace httptest
