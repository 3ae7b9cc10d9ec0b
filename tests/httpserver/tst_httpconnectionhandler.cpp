#include "httpserver/httpconnectionhandler.h"
#include "httpserver/httplistener.h"
#include "httpserver/threadhandover.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/openfiles.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

using httptest::Client;
using tarsel::tSocketDescriptor;

namespace {

const QByteArray entityTooLarge = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
const QByteArray headersTooLarge = "HTTP/1.1 431 request header fields too large\r\nConnection: close\r\n\r\n"
                                   "431 Request header fields too large\r\n";
const QByteArray badRequest = "HTTP/1.1 400 bad request\r\nConnection: close\r\n\r\n400 Bad request\r\n";
const QByteArray continueLine = "HTTP/1.1 100 Continue\r\n\r\n";

// Gives a connection to a handler the way the listener does.
void handOver(tarsel::HttpConnectionHandler *connectionHandler, qintptr descriptor)
{
    connectionHandler->setBusy();
    TARSEL_HAND_OVER(connectionHandler);
    QMetaObject::invokeMethod(
        connectionHandler, "handleConnection", Qt::QueuedConnection, Q_ARG(tSocketDescriptor, descriptor));
}

} // namespace

class TestHttpConnectionHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void answersWithExactBytes_data();
    void answersWithExactBytes();
    void answersPipelinedRequestsInOrder();
    void servesManyRequestsOnOneConnection();
    void closesSilentlyAfterReadTimeout_data();
    void closesSilentlyAfterReadTimeout();
    void slowBodyKeepsConnectionAlive_data();
    void slowBodyKeepsConnectionAlive();
    void dropsUnfinishedUploadOnDisconnect();
    void answersExpectContinue_data();
    void answersExpectContinue();
    void refusesBodyWithoutContinue_data();
    void refusesBodyWithoutContinue();
    void freesItselfWhenDescriptorIsUnusable_data();
    void freesItselfWhenDescriptorIsUnusable();

private:
    QTemporaryDir tempDir;
    std::unique_ptr<httptest::TestSettings> settings;
    std::unique_ptr<httptest::TestHandler> handler;
    std::unique_ptr<tarsel::HttpListener> listener;
};

void TestHttpConnectionHandler::initTestCase()
{
    // Uploads go to the system temporary folder; a private one shows what stays open there.
    QVERIFY(tempDir.isValid());
    qputenv("TMPDIR", tempDir.path().toLocal8Bit());
}

void TestHttpConnectionHandler::init()
{
    settings = std::make_unique<httptest::TestSettings>(QVariantMap { { "readTimeout", 400 } });
    handler = std::make_unique<httptest::TestHandler>();
    listener = std::make_unique<tarsel::HttpListener>(settings->settings(), handler.get());
    QVERIFY(listener->isListening());
}

void TestHttpConnectionHandler::cleanup()
{
    listener.reset();
    handler.reset();
    settings.reset();
}

void TestHttpConnectionHandler::answersWithExactBytes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("keepsOpen");

    QTest::addRow("one write gets Content-Length")
        << QByteArray("GET /length HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc")
        << true;
    QTest::addRow("several writes are chunked")
        << QByteArray("GET /chunked HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n") << true;
    QTest::addRow("handler's Connection close sends raw body and closes")
        << QByteArray("GET /raw HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabcde")
        << false;
    QTest::addRow("handler writing nothing") << QByteArray("GET /nothing HTTP/1.1\r\n\r\n")
                                             << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << true;
    // A failing handler's status and headers are dropped for a short 500, and the connection closes.
    QTest::addRow("handler throwing") << QByteArray("GET /throw HTTP/1.1\r\n\r\n")
                                      << QByteArray("HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n"
                                                    "Content-Length: 27\r\n\r\n500 Internal server error\r\n")
                                      << false;
    QTest::addRow("headers and cookies in name order")
        << QByteArray("GET /headers HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nX-A: 1\r\nX-B: 2\r\n"
                      "Set-Cookie: a=2; Max-Age=60; Path=/; Version=1\r\nSet-Cookie: s=1; Version=1\r\n\r\nx")
        << true;
    QTest::addRow("redirect") << QByteArray("GET /redirect HTTP/1.1\r\n\r\n")
                              << QByteArray(
                                     "HTTP/1.1 303 See Other\r\nContent-Length: 8\r\nLocation: /x\r\n\r\nRedirect")
                              << true;
    QTest::addRow("base handler")
        << QByteArray("GET /base HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 501 not implemented\r\nContent-Length: 19\r\n\r\n501 not implemented") << true;
    QTest::addRow("HTTP/1.0 is never chunked and closes")
        << QByteArray("GET /chunked HTTP/1.0\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabcde") << false;
    QTest::addRow("Connection close from the client")
        << QByteArray("GET /length HTTP/1.1\r\nConnection: Close\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc") << false;
    QTest::addRow("oversized headers") << QByteArray(
        "GET /length HTTP/1.1\r\nX: " + QByteArray(16001, 'p') + "\r\n\r\n")
                                       << headersTooLarge << false;
    QTest::addRow("oversized body announced")
        << QByteArray("POST /length HTTP/1.1\r\nContent-Length: 20000\r\n\r\n") << entityTooLarge << false;
    QTest::addRow("broken request line") << QByteArray("GET /length\r\n\r\n") << badRequest << false;
}

void TestHttpConnectionHandler::answersWithExactBytes()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QFETCH(bool, keepsOpen);

    Client client(listener->serverPort());
    client.send(request);
    QTRY_VERIFY(client.received.size() >= expected.size());
    QCOMPARE(client.received, expected);
    if (keepsOpen) {
        client.send("GET /echo?x=again HTTP/1.1\r\n\r\n");
        const QByteArray next = expected + "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nagain";
        QTRY_COMPARE(client.received, next);
        QVERIFY(!client.closed);
    } else {
        QTRY_VERIFY(client.closed);
        QCOMPARE(client.received, expected);
    }
}

void TestHttpConnectionHandler::answersPipelinedRequestsInOrder()
{
    Client client(listener->serverPort());
    client.send("GET /echo?x=first HTTP/1.1\r\nHost: a\r\n\r\nGET /chunked HTTP/1.1\r\n\r\n"
                "POST /echo HTTP/1.1\r\nContent-Length: 8\r\n\r\nx=third!");
    const QByteArray expected = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst"
                                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"
                                "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nthird!";
    QTRY_COMPARE(client.received, expected);
    QVERIFY(!client.closed);
}

void TestHttpConnectionHandler::servesManyRequestsOnOneConnection()
{
    Client client(listener->serverPort());
    QByteArray expected;
    for (int i = 0; i < 50; ++i) {
        const QByteArray value = QByteArray::number(i);
        client.send("GET /echo?x=" + value + " HTTP/1.1\r\n\r\n");
        expected += "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(value.size()) + "\r\n\r\n" + value;
        QTRY_COMPARE(client.received, expected);
    }
}

void TestHttpConnectionHandler::closesSilentlyAfterReadTimeout_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::addRow("nothing sent") << QByteArray() << QByteArray();
    QTest::addRow("half a request line") << QByteArray("GET /len") << QByteArray();
    QTest::addRow("headers never ended") << QByteArray("GET /length HTTP/1.1\r\nHost: x\r\n") << QByteArray();
    QTest::addRow("idle after a response")
        << QByteArray("GET /length HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
}

void TestHttpConnectionHandler::closesSilentlyAfterReadTimeout()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    httptest::LogCapture log;
    Client client(listener->serverPort());
    if (!sent.isEmpty())
        client.send(sent);
    QTRY_VERIFY_WITH_TIMEOUT(client.closed, 5000);
    QCOMPARE(client.received, expected);
    QCOMPARE(log.lines().filter("read timeout occured").size(), 1);
}

void TestHttpConnectionHandler::slowBodyKeepsConnectionAlive_data()
{
    QTest::addColumn<int>("sliceSize");
    QTest::addColumn<bool>("received");
    // A body that keeps arriving at the minimum rate is received even when it takes several
    // timeout periods in total; one that trickles in below it is cut off.
    QTest::addRow("1000 bytes every 200 ms") << 1000 << true;
    QTest::addRow("one byte every 200 ms") << 1 << false;
}

void TestHttpConnectionHandler::slowBodyKeepsConnectionAlive()
{
    QFETCH(int, sliceSize);
    QFETCH(bool, received);
    settings->settings()->setValue("readTimeout", 600);
    const QByteArray value(6000, 'v');
    const QByteArray body = "x=" + value;
    Client client(listener->serverPort());
    client.send("POST /echo HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n");
    httptest::LogCapture log;
    int next = 0;
    QTimer drip;
    connect(&drip, &QTimer::timeout, this, [&] {
        if (next < body.size() && !client.closed) {
            client.send(body.mid(next, sliceSize));
            next += sliceSize;
        }
    });
    drip.start(200);
    if (received) {
        QTRY_COMPARE_WITH_TIMEOUT(client.received, "HTTP/1.1 200 OK\r\nContent-Length: 6000\r\n\r\n" + value, 10000);
        QVERIFY(next >= body.size());
        QCOMPARE(log.lines().filter("read timeout occured").size(), 0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(client.closed, 5000);
        QCOMPARE(client.received, QByteArray());
        QVERIFY(next < 20);
        QCOMPARE(log.lines().filter("read timeout occured").size(), 1);
    }
}

void TestHttpConnectionHandler::dropsUnfinishedUploadOnDisconnect()
{
    QCOMPARE(testsupport::openFilesBelow(tempDir.path()).size(), 0);
    Client client(listener->serverPort());
    client.send(
        "POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: 500000\r\n\r\n"
        "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f\"\r\n\r\n"
        + QByteArray(100000, 'u'));
    QTRY_COMPARE(testsupport::openFilesBelow(tempDir.path()).size(), 1);
    client.socket.disconnectFromHost();
    QTRY_COMPARE(testsupport::openFilesBelow(tempDir.path()).size(), 0);
    QCOMPARE(client.received, QByteArray());
}

void TestHttpConnectionHandler::answersExpectContinue_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("continues");
    QTest::addColumn<QByteArray>("answer");

    const QByteArray multipart = "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f.txt\"\r\n\r\n"
                                 "abc\r\n--b--\r\n";
    const QByteArray uploadAnswer = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad 3 f.txt ";
    QTest::addRow("multipart upload") << QByteArray("POST /upload HTTP/1.1\r\nExpect: 100-continue\r\n"
                                                    "Content-Type: multipart/form-data; boundary=b\r\nContent-Length: "
        + QByteArray::number(multipart.size()) + "\r\n\r\n")
                                      << multipart << true
                                      << "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(uploadAnswer.size())
            + "\r\n\r\n" + uploadAnswer;
    QTest::addRow("form body, expectation in other case")
        << QByteArray("POST /echo HTTP/1.1\r\nexpect: 100-Continue\r\nContent-Length: 5\r\n\r\n") << QByteArray("x=yes")
        << true << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nyes");
    // HTTP/1.0 has no interim answers; a request without a body has nothing to wait for.
    QTest::addRow("HTTP/1.0") << QByteArray("POST /echo HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n")
                              << QByteArray("x=yes") << false
                              << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nyes");
    QTest::addRow("no body") << QByteArray("GET /echo?x=no HTTP/1.1\r\nExpect: 100-continue\r\n\r\n") << QByteArray()
                             << false << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno");
    QTest::addRow("no expectation") << QByteArray("POST /echo HTTP/1.1\r\nContent-Length: 5\r\n\r\n")
                                    << QByteArray("x=yes") << false
                                    << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nyes");
}

void TestHttpConnectionHandler::answersExpectContinue()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(bool, continues);
    QFETCH(QByteArray, answer);

    Client client(listener->serverPort());
    client.send(head);
    if (continues) {
        // The body is held back until the interim answer is there, as a client does.
        QTRY_COMPARE(client.received, continueLine);
        client.send(body);
        QTRY_COMPARE(client.received, continueLine + answer);
    } else {
        // Had an interim answer been due, it would have been sent as the header block ended,
        // before the body could even be read.
        client.send(body);
        QTRY_VERIFY(client.received.size() >= answer.size());
        QCOMPARE(client.received, answer);
    }
    // The next request on the connection gets no interim answer of its own.
    if (!client.closed && head.contains("HTTP/1.1")) {
        client.send("GET /echo?x=next HTTP/1.1\r\n\r\n");
        QTRY_VERIFY(client.received.endsWith("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext"));
        QCOMPARE(client.received.count(continueLine), continues ? 1 : 0);
    }
}

void TestHttpConnectionHandler::refusesBodyWithoutContinue_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("answer");
    QTest::addRow("plain body too large")
        << QByteArray("POST /echo HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 20000\r\n\r\n") << entityTooLarge;
    QTest::addRow("multipart body too large") << QByteArray("POST /upload HTTP/1.1\r\nExpect: 100-continue\r\n"
                                                            "Content-Type: multipart/form-data; boundary=b\r\n"
                                                            "Content-Length: 1000001\r\n\r\n")
                                              << entityTooLarge;
    // Refused by the request handler from its headers: the body is never waited for.
    const QByteArray refused = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Length: 7\r\n\r\nrefused";
    QTest::addRow("refused, expecting continue")
        << QByteArray("POST /refused HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n") << refused;
    QTest::addRow("refused multipart") << QByteArray("POST /refused HTTP/1.1\r\n"
                                                     "Content-Type: multipart/form-data; boundary=b\r\n"
                                                     "Content-Length: 900000\r\n\r\n")
                                       << refused;
}

void TestHttpConnectionHandler::refusesBodyWithoutContinue()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, answer);
    Client client(listener->serverPort());
    client.send(head);
    QTRY_VERIFY(client.closed);
    QCOMPARE(client.received, answer);
}

void TestHttpConnectionHandler::freesItselfWhenDescriptorIsUnusable_data()
{
    QTest::addColumn<qintptr>("descriptor");
    rlimit limit {};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
    QTest::addRow("-1") << qintptr(-1);
    // No descriptor of this process can have a number at or beyond the limit.
    QTest::addRow("beyond the limit") << qintptr(qMin<rlim_t>(limit.rlim_cur, 1 << 30));
}

void TestHttpConnectionHandler::freesItselfWhenDescriptorIsUnusable()
{
    QFETCH(qintptr, descriptor);
    httptest::LogCapture log;
    tarsel::HttpConnectionHandler connectionHandler(settings->settings(), handler.get());
    handOver(&connectionHandler, descriptor);
    QTRY_VERIFY(!connectionHandler.isBusy());
    QCOMPARE(log.lines().filter("cannot initialize socket").size(), 1);

    // Free again, the handler serves the next connection it is given.
    testsupport::LoopbackPair pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    const qintptr adopted = ::dup(int(pair.server->socketDescriptor()));
    QVERIFY(adopted >= 0);
    delete pair.server;
    handOver(&connectionHandler, adopted);
    QByteArray received;
    connect(pair.client, &QTcpSocket::readyRead, this, [&] { received += pair.client->readAll(); });
    pair.client->write("GET /length HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(received, QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc"));
    delete pair.client;
    QTRY_VERIFY(!connectionHandler.isBusy());
}

ORVEX_TEST_MAIN(TestHttpConnectionHandler)
#include "tst_httpconnectionhandler.moc"
