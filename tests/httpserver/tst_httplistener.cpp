#include "httpserver/httplistener.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTest>

#include <memory>

using httptest::Client;
using httptest::LogCapture;

namespace {

const QByteArray tooManyConnections
    = "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";
const QByteArray lengthRequest = "GET /length HTTP/1.1\r\n\r\n";
const QByteArray lengthResponse = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc";

int countContaining(const LogCapture &log, const QString &text)
{
    return log.lines().filter(text).size();
}

} // namespace

class TestHttpListener : public QObject
{
    Q_OBJECT

private slots:
    void refusesEveryConnectionWithoutThreads();
    void refusesConnectionBeyondMaxThreads();
    void shrinksPoolOneHandlerPerInterval();
    void bindsEphemeralPortAndReportsBindFailure();
    void listensAgainWithNewPoolAfterClose();
    void tlsNeedsBothFilesResolvedBesideSettings_data();
    void tlsNeedsBothFilesResolvedBesideSettings();
    void servesHttpsWithConfiguredCertificate();
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

void TestHttpListener::shrinksPoolOneHandlerPerInterval()
{
    LogCapture log;
    const int interval = 300;
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

    // Three connections end, one stays busy: idle handlers go one per tick until one idle is left.
    for (int i = 0; i < 3; ++i)
        clients[i]->socket.disconnectFromHost();
    const QString removed = "HttpConnectionHandlerPool: Removed connection handler";
    QTRY_COMPARE(log.count(removed), 2);
    QVERIFY(log.lines().filter(removed).at(0).endsWith("pool size is now 3"));
    QVERIFY(log.lines().filter(removed).at(1).endsWith("pool size is now 2"));
    const QList<qint64> times = log.times(removed);
    // Two removals in one tick would be logged together; a late tick may shorten the next gap.
    QVERIFY2(times.at(1) - times.at(0) >= interval / 3, qPrintable(QString::number(times.at(1) - times.at(0))));

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

ORVEX_TEST_MAIN(TestHttpListener)
#include "tst_httplistener.moc"
