#pragma once

#include "httpserver/httprequesthandler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSettings>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>
#include <mutex>

namespace httptest {

// Small handlers picked by path, shared by the unit tests and the test server for real clients:
//   /length    "abc" in one last write          /chunked   "abc" then "de"
//   /raw       "Connection: close", two writes    /nothing   writes nothing
//   /throw     status 202 set, then throws        /headers   headers and cookies out of order
//   /redirect  redirect to /x                     /base      the base class's answer
//   /echo      the parameter x                    /upload    SHA-256, size and name of file "file"
//   /stream    the parameter n of bytes "x" in parts of 10000 bytes
//   /refused   a body is refused with 403 "refused" before it is read
class TestHandler : public tarsel::HttpRequestHandler
{
    Q_OBJECT

public:
    using tarsel::HttpRequestHandler::HttpRequestHandler;
    void service(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
    bool acceptsBody(tarsel::HttpRequest &request, tarsel::HttpResponse &response) override;
};

// Listener settings in an ini file of their own temporary folder.
class TestSettings
{
public:
    explicit TestSettings(const QVariantMap &values = {});
    QSettings *settings() { return m_settings.get(); }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
};

// A client connection that collects everything the server sends, for event-driven waiting.
class Client : public QObject
{
    Q_OBJECT

public:
    explicit Client(quint16 port, QObject *parent = nullptr);
    void send(const QByteArray &data);

    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};

// Records the Qt log lines of all threads while it exists, the server's debug lines included.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    int count(const QString &prefix) const;
    // Milliseconds since the capture began at which lines with prefix were logged.
    QList<qint64> times(const QString &prefix) const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QList<qint64> m_times;
    QElapsedTimer m_clock;
    QtMessageHandler m_previous = nullptr;
};

} // namespace httptest
