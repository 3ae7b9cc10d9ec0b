#include "core/settings.h"
#include "core/sharedtext.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/textuploadcontroller.h"
#include "web/webserver.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using testsupport::exchange;
using testsupport::getRequest;
using testsupport::multipartRequest;

class TestTextUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Settings::setWebPort(0);
        Settings::setDownloadPath(dir.path());
    }

    void init()
    {
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
        key = server->startReceiving();
        testsupport::useKeyOf(uploadPageLink(QString(), port, key));
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void takesTextsWithTheSessionKeyOnly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("presented"); // "cookie", "none", "wrong", or "get"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("received");
        const QByteArray big(sharedtext::maxTextBytes, 'x');
        QTest::addRow("key in the cookie")
            << QByteArray("a\r\nb\tc") << QByteArray("cookie") << 200 << QStringLiteral("a\nb\tc");
        QTest::addRow("exactly 1 MiB") << big << QByteArray("cookie") << 200 << QString::fromLatin1(big);
        QTest::addRow("1 MiB + 1 byte") << big + 'x' << QByteArray("cookie") << 413 << QString();
        QTest::addRow("empty") << QByteArray() << QByteArray("cookie") << 400 << QString();
        QTest::addRow("GET") << QByteArray("a") << QByteArray("get") << 405 << QString();
        QTest::addRow("no key") << QByteArray("a") << QByteArray("none") << 403 << QString();
        QTest::addRow("wrong key") << QByteArray("a") << QByteArray("wrong") << 403 << QString();
    }

    void takesTextsWithTheSessionKeyOnly()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, presented);
        QFETCH(int, status);
        QFETCH(QString, received);
        if (presented != "cookie" && presented != "get")
            testsupport::useKeyOf(QString());
        const QByteArray target = presented == "wrong" ? "/text?key=AAAAAAAAAAAAAAAAAAAAAA" : "/text";
        const QByteArray request
            = presented == "get" ? getRequest("/text?text=a") : multipartRequest(target, { { "text", text, {} } });
        QSignalSpy texts(server, &WebServer::textReceived);
        const auto reply = exchange(port, request);
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, status);
        if (status != 200) {
            // A later text of the session arrives alone.
            const auto next
                = exchange(port, multipartRequest("/text?key=" + key.toLatin1(), { { "text", "next", {} } }));
            QVERIFY(next->wait());
            received = QStringLiteral("next");
        }
        QVERIFY(texts.count() == 1 || texts.wait());
        QCOMPARE(texts.count(), 1);
        QCOMPARE(texts.at(0).at(0).toString(), key);
        QCOMPARE(texts.at(0).at(1).toString(), received);
    }

    void refusesTextsOverTheRate()
    {
        QSignalSpy texts(server, &WebServer::textReceived);
        for (int i = 0; i < TextRate::maxTextsPerWindow; ++i) {
            const auto reply = exchange(port, multipartRequest("/text", { { "text", "t", {} } }));
            QVERIFY(reply->wait());
            QCOMPARE(reply->status, 200);
        }
        const auto refused = exchange(port, multipartRequest("/text", { { "text", "t", {} } }));
        QVERIFY(refused->wait());
        QCOMPARE(refused->status, 429);
        QTRY_COMPARE(texts.count(), TextRate::maxTextsPerWindow);
    }

    void listPageShowsTheSharedTextAsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::addColumn<bool>("link");
        QTest::addRow("markup and braces") << QStringLiteral("<b>{x}</b></script>")
                                           << QByteArrayList { "&lt;b&gt;&#123;x&#125;&lt;/b&gt;",
                                                  "id=\"shared-text-source\">\"\\u003cb\\u003e\\u007bx\\u007d\\u003c/"
                                                  "b\\u003e\\u003c/script\\u003e\"</script>" }
                                           << false;
        QTest::addRow("bidi override") << QString::fromUtf8("a\u202Eb")
                                       << QByteArrayList { "a\xef\xbf\xbd"
                                                           "b",
                                              "source\">\"a\xe2\x80\xae"
                                              "b\"</script>" }
                                       << false;
        QTest::addRow("one link") << QStringLiteral("https://example.org/?a=1&b=2")
                                  << QByteArrayList { "href=\"https://example.org/?a=1&amp;b=2\"" } << true;
    }

    void listPageShowsTheSharedTextAsText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArrayList, expected);
        QFETCH(bool, link);
        const QString shareLink = server->shareFiles(QStringLiteral("127.0.0.1"), port, {}, text);
        const auto reply = exchange(port, getRequest(QUrl(shareLink).path().toLatin1()));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        for (const QByteArray &part : expected)
            QVERIFY2(reply->body.contains(part), part.constData());
        QCOMPARE(reply->body.contains("id=\"open-link\""), link);
        // A share of a text alone lists no files and does not say that files are missing.
        QVERIFY(!reply->body.contains("class=\"files\""));
    }

private:
    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
    QString key;
};

ORVEX_TEST_MAIN(TestTextUpload)
#include "tst_textupload.moc"
