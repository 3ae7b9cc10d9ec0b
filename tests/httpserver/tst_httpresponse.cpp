#include "httpserver/httpcookie.h"
#include "httpserver/httpresponse.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/testmain.h"

#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>

using tarsel::HttpCookie;
using tarsel::HttpResponse;

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void writesExactBytes_data();
    void writesExactBytes();
    void throttlesLargeBodyToSlowReader_data();
    void throttlesLargeBodyToSlowReader();
    void formatsCookie_data();
    void formatsCookie();
    void parsesCookie_data();
    void parsesCookie();
    void splitsAttributeList_data();
    void splitsAttributeList();
};

namespace {

// What a test does to a fresh response before its bytes are compared.
enum class Script {
    SingleLastPart,
    TwoParts,
    RawWithConnectionClose,
    Chunk255,
    Redirect,
    HeadersAndCookies,
    HandlerContentLengthReplaced,
    AnnouncedLength,
    HeadersOnly,
    EmptyLastPart,
    WriteAfterLastPart,
};

} // namespace

Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(tarsel::HttpCookie)

void TestHttpResponse::writesExactBytes_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("one last part gets Content-Length")
        << Script::SingleLastPart << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc");
    QTest::addRow("several parts are chunked")
        << Script::TwoParts
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n");
    QTest::addRow("Connection close sends raw body")
        << Script::RawWithConnectionClose << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabcde");
    QTest::addRow("255 byte chunk is ff") << Script::Chunk255
                                          << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nff\r\n")
            + QByteArray(255, 'z') + "\r\n0\r\n\r\n";
    QTest::addRow("redirect") << Script::Redirect
                              << QByteArray(
                                     "HTTP/1.1 303 See Other\r\nContent-Length: 8\r\nLocation: /x\r\n\r\nRedirect");
    QTest::addRow("headers and cookies in name order")
        << Script::HeadersAndCookies
        << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\nX-A: 1\r\nX-B: two\r\n"
                      "Set-Cookie: a=2; Path=/; Version=1\r\nSet-Cookie: b=3; Version=1\r\n\r\nq");
    QTest::addRow("handler's Content-Length is replaced")
        << Script::HandlerContentLengthReplaced << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    QTest::addRow("announced length: raw parts")
        << Script::AnnouncedLength << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde");
    QTest::addRow("headers only") << Script::HeadersOnly << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n");
    QTest::addRow("empty last part") << Script::EmptyLastPart
                                     << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    QTest::addRow("writes after the last part are dropped")
        << Script::WriteAfterLastPart << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
}

void TestHttpResponse::writesExactBytes()
{
    QFETCH(Script, script);
    QFETCH(QByteArray, expected);

    const testsupport::LoopbackPair pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    std::unique_ptr<QTcpSocket> client(pair.client);
    std::unique_ptr<QTcpSocket> server(pair.server);

    HttpResponse response(server.get());
    switch (script) {
    case Script::SingleLastPart:
        response.write("abc", true);
        break;
    case Script::TwoParts:
        response.write("abc");
        response.write("de", true);
        break;
    case Script::RawWithConnectionClose:
        response.setHeader("Connection", "close");
        response.write("abc");
        response.write("de", true);
        break;
    case Script::Chunk255:
        response.write(QByteArray(255, 'z'));
        response.write(QByteArray(), true);
        break;
    case Script::Redirect:
        response.redirect("/x");
        break;
    case Script::HeadersAndCookies:
        response.setStatus(404, "Not Found");
        response.setHeader("X-B", "one");
        response.setHeader("X-B", "two");
        response.setHeader("X-A", 1);
        response.setCookie(HttpCookie("b", "3", 0));
        response.setCookie(HttpCookie("a", "1", 0));
        response.setCookie(HttpCookie("a", "2", 0, "/"));
        response.setCookie(HttpCookie("", "ignored", 0));
        response.write("q", true);
        break;
    case Script::HandlerContentLengthReplaced:
        response.setHeader("Content-Length", 99);
        response.write("ok", true);
        break;
    case Script::EmptyLastPart:
        response.write(QByteArray(), true);
        break;
    case Script::AnnouncedLength:
        response.setHeader("Content-Length", 5);
        response.write("abc");
        response.write("de");
        QVERIFY(!response.write("f"));
        response.write(QByteArray(), true);
        break;
    case Script::HeadersOnly:
        response.setHeadersOnly(true);
        response.write("abc", true);
        break;
    case Script::WriteAfterLastPart:
        response.write("ok", true);
        response.write("stray");
        response.write("bytes", true);
        break;
    }
    QVERIFY(response.hasSentLastPart());

    QByteArray received;
    QTRY_VERIFY((received += client->readAll()).size() >= expected.size());
    QCOMPARE(received, expected);
}

void TestHttpResponse::throttlesLargeBodyToSlowReader_data()
{
    QTest::addColumn<bool>("directWrites");
    QTest::addColumn<int>("partSize");
    QTest::addColumn<int>("parts");
    QTest::addRow("through Qt's buffer") << false << 5000 << 200;
    // Straight to the descriptor while Qt's buffer is empty; what the kernel does not take goes
    // through the buffer, which then comes first.
    QTest::addRow("direct, small parts") << true << 5000 << 200;
    QTest::addRow("direct, parts larger than the socket takes") << true << 3000000 << 6;
}

void TestHttpResponse::throttlesLargeBodyToSlowReader()
{
    // The writer waits whenever more than 16 KiB are pending, so a body of many parts reaches a
    // reader in another thread intact while the writer's buffer stays small.
    QFETCH(bool, directWrites);
    QFETCH(int, partSize);
    QFETCH(int, parts);
    const testsupport::LoopbackPair pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    std::unique_ptr<QTcpSocket> server(pair.server);
    QThread readerThread;
    QTcpSocket *client = pair.client;
    client->moveToThread(&readerThread);
    std::mutex receivedMutex;
    QByteArray received;
    QObject::connect(client, &QTcpSocket::readyRead, client, [&] {
        std::lock_guard<std::mutex> locker(receivedMutex);
        received += client->readAll();
    });
    readerThread.start();
    const auto receivedSize = [&] {
        std::lock_guard<std::mutex> locker(receivedMutex);
        return received.size();
    };

    const std::atomic<bool> cancelled { false };
    HttpResponse response(server.get(), &cancelled, directWrites);
    qint64 maxPending = 0;
    QByteArray sent;
    for (int i = 0; i < parts; ++i) {
        const QByteArray part(partSize, char('a' + i % 26));
        response.write(part);
        sent += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
        maxPending = qMax(maxPending, server->bytesToWrite());
    }
    response.write(QByteArray(), true);
    sent += "0\r\n\r\n";
    QVERIFY2(maxPending <= 16384 + partSize + 16, QByteArray::number(maxPending));
    while (server->bytesToWrite() > 0)
        QVERIFY(server->waitForBytesWritten(5000));

    const QByteArray header = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    QTRY_COMPARE(receivedSize(), header.size() + sent.size());
    readerThread.quit();
    readerThread.wait();
    QCOMPARE(received, header + sent);
    delete client;
}

void TestHttpResponse::formatsCookie_data()
{
    QTest::addColumn<HttpCookie>("cookie");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("max age and path") << HttpCookie("id", "42", 3600, "/")
                                      << QByteArray("id=42; Max-Age=3600; Path=/; Version=1");
    QTest::addRow("only name and value") << HttpCookie("id", "42", 0) << QByteArray("id=42; Version=1");
    QTest::addRow("every attribute")
        << HttpCookie("s", "v", 10, "/p", "note", "example.org", true, true, "Strict")
        << QByteArray("s=v; Comment=note; Domain=example.org; Max-Age=10; Path=/p; Secure; HttpOnly; SameSite=Strict; "
                      "Version=1");
}

void TestHttpResponse::formatsCookie()
{
    QFETCH(HttpCookie, cookie);
    QFETCH(QByteArray, expected);
    QCOMPARE(cookie.toByteArray(), expected);
}

void TestHttpResponse::parsesCookie_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("secure");
    QTest::addColumn<bool>("httpOnly");
    QTest::addColumn<int>("maxAge");
    QTest::addColumn<int>("version");

    QTest::addRow("secure and path") << QByteArray("a=b; Secure; Path=/p") << QByteArray("a") << QByteArray("b")
                                     << QByteArray("/p") << true << false << 0 << 1;
    QTest::addRow("quoted value keeps semicolon")
        << QByteArray("s=\"x;y\"; HttpOnly; Max-Age=5; Version=2") << QByteArray("s") << QByteArray("x;y")
        << QByteArray() << false << true << 5 << 2;
    QTest::addRow("later unknown pair is ignored") << QByteArray("first=1; second=2") << QByteArray("first")
                                                   << QByteArray("1") << QByteArray() << false << false << 0 << 1;
}

void TestHttpResponse::parsesCookie()
{
    QFETCH(QByteArray, text);
    const HttpCookie cookie(text);
    QTEST(cookie.name(), "name");
    QTEST(cookie.value(), "value");
    QTEST(cookie.path(), "path");
    QTEST(cookie.secure(), "secure");
    QTEST(cookie.httpOnly(), "httpOnly");
    QTEST(cookie.maxAge(), "maxAge");
    QTEST(cookie.version(), "version");
}

void TestHttpResponse::splitsAttributeList_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("parts");

    QTest::addRow("plain") << QByteArray("a=1; b=2") << QList<QByteArray> { "a=1", "b=2" };
    QTest::addRow("quoted semicolon") << QByteArray("a=1; b=\"x;y\"") << QList<QByteArray> { "a=1", "b=x;y" };
    QTest::addRow("empty parts dropped") << QByteArray(" ; a ;; b; ") << QList<QByteArray> { "a", "b" };
    QTest::addRow("empty") << QByteArray() << QList<QByteArray> {};
}

void TestHttpResponse::splitsAttributeList()
{
    QFETCH(QByteArray, text);
    QTEST(HttpCookie::splitAttributeList(text), "parts");
}

ORVEX_TEST_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
