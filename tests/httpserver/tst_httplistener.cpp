#include "httpserver/httplistener.h"
#include "httpserver/httpresponse.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/testmain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using httptest::Client;
using httptest::LogCapture;

namespace {

const QByteArray tooManyConnections
    = "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";
const QByteArray tooManyFromAddress = "HTTP/1.1 429 too many connections from this address\r\n"
                                      "Connection: close\r\n\r\nToo many connections from this address\r\n";
const QByteArray lengthRequest = "GET /length HTTP/1.1\r\n\r\n";
const QByteArray lengthResponse = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc";

int countContaining(const LogCapture &log, const QString &text)
{
    return log.lines().filter(text).size();
}

// Streams until the client has gone, then holds its thread until released.
class HoldingHandler : public tarsel::HttpRequestHandler
{
public:
    void service(tarsel::HttpRequest &, tarsel::HttpResponse &response) override
    {
        const QByteArray part(65536, 'x');
        while (response.isConnected())
            response.write(part);
        noticed.release();
        // Bounded, so that a server that blocks on this thread cannot hang the test for good.
        gate.tryAcquire(1, 10000);
    }

    QSemaphore noticed;
    QSemaphore gate;
};

// Whether a request from another address, 127.0.0.2, gets its answer.
bool answersAnotherAddress(quint16 port)
{
    QTcpSocket other;
    if (!other.bind(QHostAddress("127.0.0.2")))
        return false;
    QByteArray received;
    QObject::connect(&other, &QTcpSocket::readyRead, [&] { received += other.readAll(); });
    other.connectToHost(QHostAddress::LocalHost, port);
    other.write(lengthRequest);
    return QTest::qWaitFor([&] { return received == lengthResponse; }, 5000);
}

} // namespace

class TestHttpListener : public QObject
{
    Q_OBJECT

private slots:
    void refusesEveryConnectionWithoutThreads();
    void refusesConnectionBeyondMaxThreads();
    void shrinksPoolToItsMinimumInOneInterval();
    void bindsEphemeralPortAndReportsBindFailure();
    void listensAgainWithNewPoolAfterClose();
    void tlsNeedsBothFilesResolvedBesideSettings_data();
    void tlsNeedsBothFilesResolvedBesideSettings();
    void servesHttpsWithConfiguredCertificate();
    void limitsHandlersPerAddress();
    void keepsPartOfThePoolForOtherAddresses();
    void acceptsAgainAfterRunningOutOfDescriptors();
    void keepsHandlerBusyWhileServiceRuns();
};

void TestHttpListener::refusesEveryConnectionWithoutThreads()
{
    httptest::TestSettings settings({ { "maxThreads", 0 } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    for (int i = 0; i < 3; ++i) {
        Client client(listener.serverPort());
        client.send(lengthRequest);
        QTRY_VERIFY(client.closed);
        QCOMPARE(client.received, tooManyConnections);
    }
}

void TestHttpListener::refusesConnectionBeyondMaxThreads()
{
    LogCapture log;
    httptest::TestSettings settings({ { "maxThreads", 2 }, { "cleanupInterval", 60000 } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);

    // Two kept-alive connections hold both handlers.
    Client first(listener.serverPort());
    Client second(listener.serverPort());
    first.send(lengthRequest);
    second.send(lengthRequest);
    QTRY_COMPARE(first.received, lengthResponse);
    QTRY_COMPARE(second.received, lengthResponse);

    Client third(listener.serverPort());
    third.send(lengthRequest);
    QTRY_VERIFY(third.closed);
    QCOMPARE(third.received, tooManyConnections);
    QVERIFY(!first.closed && !second.closed);

    // Once a connection ends its handler serves the next one; no thread is added.
    first.socket.disconnectFromHost();
    QTRY_COMPARE(countContaining(log, "): disconnected"), 1);
    Client fourth(listener.serverPort());
    fourth.send(lengthRequest);
    QTRY_COMPARE(fourth.received, lengthResponse);
    QCOMPARE(countContaining(log, "): thread started"), 2);
    QVERIFY(!fourth.closed);
}

void TestHttpListener::shrinksPoolToItsMinimumInOneInterval()
{
    LogCapture log;
    // Long enough that the three disconnections fall into one tick.
    const int interval = 1500;
    httptest::TestSettings settings(
        { { "maxThreads", 10 }, { "minThreads", 1 }, { "cleanupInterval", interval }, { "readTimeout", 60000 } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<Client>(listener.serverPort()));
        clients.back()->send(lengthRequest);
    }
    for (const auto &client : clients)
        QTRY_COMPARE(client->received, lengthResponse);
    QCOMPARE(countContaining(log, "): thread started"), 4);

    // Three connections end, one stays busy: one tick retires every idle handler but one.
    for (int i = 0; i < 3; ++i)
        clients[i]->socket.disconnectFromHost();
    const QString removed = "HttpConnectionHandlerPool: Removed connection handler";
    QTRY_COMPARE(log.count(removed), 2);
    QVERIFY(log.lines().filter(removed).at(0).endsWith("pool size is now 3"));
    QVERIFY(log.lines().filter(removed).at(1).endsWith("pool size is now 2"));
    const QList<qint64> times = log.times(removed);
    QVERIFY2(times.at(1) - times.at(0) < interval / 3, qPrintable(QString::number(times.at(1) - times.at(0))));

    // The busy handler was kept; when its connection ends the surplus one goes too.
    QVERIFY(!clients[3]->closed);
    clients[3]->socket.disconnectFromHost();
    QTRY_COMPARE(log.count(removed), 3);
    QVERIFY(log.lines().filter(removed).at(2).endsWith("pool size is now 1"));

    // The remaining handler serves the next connection without a new thread.
    Client next(listener.serverPort());
    next.send(lengthRequest);
    QTRY_COMPARE(next.received, lengthResponse);
    QCOMPARE(countContaining(log, "): thread started"), 4);
}

void TestHttpListener::bindsEphemeralPortAndReportsBindFailure()
{
    LogCapture log;
    httptest::TestSettings settings;
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    QVERIFY(listener.isListening());
    QVERIFY(listener.serverPort() != 0);
    QCOMPARE(log.count("HttpListener: Listening on port 0"), 1);

    httptest::TestSettings taken({ { "port", listener.serverPort() } });
    tarsel::HttpListener second(taken.settings(), &handler);
    QVERIFY(!second.isListening());
    QCOMPARE(log.count(QString("HttpListener: Cannot bind on port %1: ").arg(listener.serverPort())), 1);

    Client client(listener.serverPort());
    client.send(lengthRequest);
    QTRY_COMPARE(client.received, lengthResponse);
}

void TestHttpListener::listensAgainWithNewPoolAfterClose()
{
    LogCapture log;
    httptest::TestSettings settings;
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    {
        Client client(listener.serverPort());
        client.send(lengthRequest);
        QTRY_COMPARE(client.received, lengthResponse);
        listener.close();
        QTRY_VERIFY(client.closed);
    }
    QVERIFY(!listener.isListening());
    QCOMPARE(log.lines().filter(QRegularExpression("^HttpConnectionHandler \\(.*\\): destroyed$")).size(), 1);
    QCOMPARE(log.lines().filter(QRegularExpression("^HttpConnectionHandlerPool \\(.*\\): destroyed$")).size(), 1);

    listener.listen();
    QVERIFY(listener.isListening());
    Client client(listener.serverPort());
    client.send(lengthRequest);
    QTRY_COMPARE(client.received, lengthResponse);
    QCOMPARE(countContaining(log, "): thread started"), 2);
}

void TestHttpListener::tlsNeedsBothFilesResolvedBesideSettings_data()
{
    QTest::addColumn<QString>("keyFile");
    QTest::addColumn<QString>("certFile");
    QTest::addColumn<QString>("logged");

    QTest::addRow("key without certificate") << "key.pem"
                                             << ""
                                             << "";
    QTest::addRow("certificate without key") << ""
                                             << "cert.pem"
                                             << "";
    QTest::addRow("relative certificate path")
        << "key.pem"
        << "certs/cert.pem"
        << "HttpConnectionHandlerPool: cannot open sslCertFile %1/certs/cert.pem";
    QTest::addRow("absolute certificate path")
        << "key.pem"
        << "/nonexistent/cert.pem"
        << "HttpConnectionHandlerPool: cannot open sslCertFile /nonexistent/cert.pem";
}

void TestHttpListener::tlsNeedsBothFilesResolvedBesideSettings()
{
    QFETCH(QString, keyFile);
    QFETCH(QString, certFile);
    QFETCH(QString, logged);

    LogCapture log;
    httptest::TestSettings settings({ { "sslKeyFile", keyFile }, { "sslCertFile", certFile } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    const QStringList tlsLines = log.lines().filter("ssl", Qt::CaseInsensitive);
    if (logged.isEmpty())
        QCOMPARE(tlsLines, QStringList());
    else
        QCOMPARE(tlsLines, QStringList { QString(logged).replace("%1", QDir(settings.folder()).absolutePath()) });

    // Without TLS the server still answers plain HTTP.
    Client client(listener.serverPort());
    client.send(lengthRequest);
    QTRY_COMPARE(client.received, lengthResponse);
}

void TestHttpListener::servesHttpsWithConfiguredCertificate()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS library");
    LogCapture log;
    httptest::TestSettings settings({ { "sslKeyFile", "tls/key.pem" }, { "sslCertFile", "tls/cert.pem" } });
    // Relative names are found beside the settings file.
    QVERIFY(QDir(settings.folder()).mkpath("tls"));
    QVERIFY(QFile::copy(QFINDTESTDATA("tls/key.pem"), settings.folder() + "/tls/key.pem"));
    QVERIFY(QFile::copy(QFINDTESTDATA("tls/cert.pem"), settings.folder() + "/tls/cert.pem"));
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    QCOMPARE(log.count("HttpConnectionHandlerPool: SSL settings loaded"), 1);

    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    QByteArray received;
    connect(&client, &QSslSocket::readyRead, this, [&] { received += client.readAll(); });
    connect(&client, &QSslSocket::encrypted, this, [&] { client.write(lengthRequest + lengthRequest); });
    client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), listener.serverPort());
    QTRY_COMPARE(received, lengthResponse + lengthResponse);
    QCOMPARE(client.peerCertificate().subjectInfo(QSslCertificate::CommonName), QStringList { "127.0.0.1" });
}

void TestHttpListener::limitsHandlersPerAddress()
{
    httptest::TestSettings settings({ { "maxThreads", 8 }, { "maxThreadsPerAddress", 2 }, { "readTimeout", 60000 } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);

    // Two unfinished requests from 127.0.0.1 hold its share; a third connection is refused with
    // 429, while another address is still served.
    Client first(listener.serverPort());
    Client second(listener.serverPort());
    first.send("GET /length HTTP/1.1\r\n");
    second.send("GET /length HTTP/1.1\r\n");
    QTRY_COMPARE(first.socket.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(second.socket.state(), QAbstractSocket::ConnectedState);
    Client third(listener.serverPort());
    QTRY_VERIFY(third.closed);
    QCOMPARE(third.received, tooManyFromAddress);

    QVERIFY(answersAnotherAddress(listener.serverPort()));

    first.send("\r\n");
    QTRY_COMPARE(first.received, lengthResponse);
}

void TestHttpListener::keepsPartOfThePoolForOtherAddresses()
{
    httptest::TestSettings settings({ { "maxThreads", 30 }, { "maxThreadsPerAddress", 30 }, { "readTimeout", 60000 } });
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);

    // Alone, 127.0.0.1 may hold half the pool with unfinished requests: one connection more is
    // refused with 429.
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 16; ++i) {
        held.push_back(std::make_unique<Client>(listener.serverPort()));
        held.back()->send("GET /length HTTP/1.1\r\n");
    }
    const auto refused = [&held] {
        return int(std::count_if(held.begin(), held.end(), [](const auto &client) { return client->closed; }));
    };
    QTRY_COMPARE(refused(), 1);
    for (const auto &client : held)
        QCOMPARE(client->received, client->closed ? tooManyFromAddress : QByteArray());

    QVERIFY(answersAnotherAddress(listener.serverPort()));
}

void TestHttpListener::acceptsAgainAfterRunningOutOfDescriptors()
{
    httptest::TestSettings settings;
    httptest::TestHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);
    int acceptErrors = 0;
    connect(&listener, &QTcpServer::acceptError, this, [&acceptErrors] { ++acceptErrors; });

    // Without descriptors the sanitizers cannot check a dynamic type they have not seen yet: the
    // listener's error path runs once first.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpListener: cannot accept a connection"));
    emit listener.acceptError(QAbstractSocket::SocketResourceError);
    QTest::qWait(2 * tarsel::HttpListener::acceptRetryMs);

    // The client's descriptor exists; then the process may open no more, so accepting fails.
    Client client(listener.serverPort());
    client.send(lengthRequest);
    QVERIFY(client.socket.waitForConnected(5000));
    // Descriptor numbers must stay below the limit: the holes below the highest one are filled
    // first, then none is left.
    int highest = 0;
    for (const QString &name : QDir("/proc/self/fd").entryList(QDir::Files | QDir::System))
        highest = qMax(highest, name.toInt());
    rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(highest + 1);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    QList<int> fillers;
    for (int fd = ::open("/dev/null", O_RDONLY); fd >= 0; fd = ::open("/dev/null", O_RDONLY))
        fillers.append(fd);
    QElapsedTimer clock;
    clock.start();
    while (acceptErrors < 3 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (const int fd : qAsConst(fillers))
        ::close(fd);
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
    // It failed, paused and tried again (logging only the first failure); the retry failed too.
    QCOMPARE(acceptErrors, 3);

    // With descriptors free again the listener resumes by itself and serves the waiting client.
    QTRY_COMPARE(client.received, lengthResponse);
    Client next(listener.serverPort());
    next.send(lengthRequest);
    QTRY_COMPARE(next.received, lengthResponse);
}

void TestHttpListener::keepsHandlerBusyWhileServiceRuns()
{
    httptest::TestSettings settings({ { "maxThreads", 1 }, { "cleanupInterval", 100 }, { "minThreads", 0 } });
    HoldingHandler handler;
    tarsel::HttpListener listener(settings.settings(), &handler);

    // The client goes while its response streams; the handler's service goes on.
    {
        Client gone(listener.serverPort());
        gone.send(lengthRequest);
        QTRY_VERIFY(gone.received.size() > 100000);
        gone.socket.abort();
    }
    QTRY_COMPARE(handler.noticed.available(), 1);
    handler.noticed.acquire();

    // Its one handler is still serving: the pool is full, and its cleanup leaves it alone.
    Client refused(listener.serverPort());
    QTRY_VERIFY(refused.closed);
    QCOMPARE(refused.received, tooManyConnections);

    // Once the service has returned, the handler serves the next connection.
    // (A connection arriving before the handler is free again still finds the pool full.)
    handler.gate.release();
    // Tries for a time, not a count: a loaded machine may take many quick tries to free it.
    std::unique_ptr<Client> next;
    for (QDeadlineTimer deadline(5000); !deadline.hasExpired();) {
        next = std::make_unique<Client>(listener.serverPort());
        next->send(lengthRequest);
        QTRY_VERIFY(next->closed || next->received.size() > 100000);
        if (!next->closed)
            break;
        QCOMPARE(next->received, tooManyConnections);
    }
    QVERIFY(next->received.startsWith("HTTP/1.1 200 OK\r\n"));
    next->socket.abort();
    QTRY_COMPARE(handler.noticed.available(), 1);
    handler.noticed.acquire();
    handler.gate.release();
}

ORVEX_TEST_MAIN(TestHttpListener)
#include "tst_httplistener.moc"
