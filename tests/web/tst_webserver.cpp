#include "core/settings.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/webserver.h"
#include "web/websettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using testsupport::exchange;
using testsupport::getRequest;

namespace {

// What each page of the templates says about itself.
const QByteArray notFoundMark = "<div class=\"code\">404</div>";
const QByteArray uploadMark = "data-mode=\"single\"";
const QByteArray hugeMark = "data-mode=\"huge\"";
const QByteArray listMark = "<ul class=\"files\">";

} // namespace

class TestWebServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Settings::setWebPort(0);
        Settings::setDownloadPath(dir.filePath(QStringLiteral("downloads")));
    }

    // A server per case: deleting it joins its handler threads, so none of them still logs
    // (disconnects, finished requests) while QtTest moves on to the next case, whose message
    // handler and bookkeeping are not safe against such late messages from other threads.
    void init()
    {
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void writesTheServerSettingsGroups()
    {
        QSettings store;
        const QString appDir = QCoreApplication::applicationDirPath();
        QCOMPARE(store.value(QStringLiteral("listener/maxMultiPartSize")).toLongLong(), Q_INT64_C(5368709120));
        QCOMPARE(store.value(QStringLiteral("listener/maxRequestSize")).toInt(), 16000);
        QCOMPARE(store.value(QStringLiteral("listener/readTimeout")).toInt(), 60000);
        QCOMPARE(store.value(QStringLiteral("listener/minThreads")).toInt(), 4);
        QCOMPARE(store.value(QStringLiteral("listener/port")).toInt(), 0);
        QVERIFY(!store.contains(QStringLiteral("listener/host")));
        QCOMPARE(store.value(QStringLiteral("templates/path")).toString(), appDir + QStringLiteral("/etc/templates"));
        QCOMPARE(store.value(QStringLiteral("templates/suffix")).toString(), QStringLiteral(".html"));
        QCOMPARE(store.value(QStringLiteral("static/path")).toString(), appDir + QStringLiteral("/etc"));
        QCOMPARE(store.value(QStringLiteral("static/maxCachedFileSize")).toInt(), 65536);

        QSettings *other = webSettings(QStringLiteral("nothing"), this);
        QVERIFY(other->group().isEmpty());
        QCOMPARE(other->parent(), this);
        delete other;
    }

    void routesByDecodedPathPrefix_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("mark");
        QTest::addRow("root") << QByteArray("/") << 200 << notFoundMark;
        QTest::addRow("index.html") << QByteArray("/index.html") << 200 << notFoundMark;
        QTest::addRow("unknown") << QByteArray("/nothing/here?x=1") << 200 << notFoundMark;
        QTest::addRow("prefix is case-sensitive") << QByteArray("/FILE") << 200 << notFoundMark;
        QTest::addRow("shorter than a route") << QByteArray("/fil") << 200 << notFoundMark;
        QTest::addRow("file") << QByteArray("/file") << 200 << uploadMark;
        QTest::addRow("files goes to upload") << QByteArray("/files") << 200 << uploadMark;
        QTest::addRow("file/anything") << QByteArray("/file/anything") << 200 << uploadMark;
        QTest::addRow("encoded file") << QByteArray("/%66ile") << 200 << uploadMark;
        QTest::addRow("hugefile") << QByteArray("/hugefile") << 200 << hugeMark;
        QTest::addRow("hugefile/x") << QByteArray("/hugefile/x") << 200 << hugeMark;
        QTest::addRow("list") << QByteArray("/list") << 200 << listMark;
        QTest::addRow("listing") << QByteArray("/listing") << 200 << listMark;
        QTest::addRow("encoded list") << QByteArray("/%6Cist") << 200 << listMark;
        QTest::addRow("plus decodes to space, no route") << QByteArray("/+list") << 200 << notFoundMark;
        QTest::addRow("static asset") << QByteArray("/static/app.css") << 200 << QByteArray(".files");
        QTest::addRow("download before any share")
            << QByteArray("/download/a.txt") << 404 << QByteArray("404 not found");
    }

    void routesByDecodedPathPrefix()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        QFETCH(QByteArray, mark);
        const auto reply = exchange(port, getRequest(target));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, status);
        QVERIFY2(reply->body.contains(mark), reply->body.left(300).constData());
    }

    void methodIsNotLookedAt()
    {
        const auto reply = exchange(port, "DELETE /list HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QVERIFY(reply->body.contains(listMark));
    }

    void pagesAreHtmlInUtf8()
    {
        const auto reply = exchange(port, getRequest("/"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
        QVERIFY(reply->body.contains(QStringLiteral("页面不存在").toUtf8()));
    }

    void choosesLanguageVariant_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("acceptLanguage");
        QTest::addColumn<QByteArray>("lang");
        const QList<QByteArray> targets { "/", "/list", "/file", "/hugefile" };
        for (const QByteArray &target : targets) {
            QTest::addRow("%s no header", target.constData()) << target << QByteArray() << QByteArray("zh-CN");
            QTest::addRow("%s en-US", target.constData()) << target << QByteArray("en-US,en;q=0.9") << QByteArray("en");
            QTest::addRow("%s zh-CN", target.constData())
                << target << QByteArray("zh-CN,zh;q=0.9") << QByteArray("zh-CN");
            QTest::addRow("%s de then en", target.constData())
                << target << QByteArray("de-DE,de;q=0.9,en;q=0.8") << QByteArray("en");
            QTest::addRow("%s fr only", target.constData()) << target << QByteArray("fr-FR") << QByteArray("zh-CN");
        }
    }

    void choosesLanguageVariant()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, acceptLanguage);
        QFETCH(QByteArray, lang);
        const QByteArray extra
            = acceptLanguage.isEmpty() ? QByteArray() : "Accept-Language: " + acceptLanguage + "\r\n";
        const auto reply = exchange(port, getRequest(target, extra));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QVERIFY2(reply->body.contains("<html lang=\"" + lang + "\">"), reply->body.left(120).constData());
    }

    void shareLinkCarriesTheFileList()
    {
        QTemporaryDir share;
        const QString a = share.filePath(QStringLiteral("a.txt"));
        QFile file(a);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hello");
        file.close();
        const QString link = server->shareFiles(QStringLiteral("192.168.1.20"), 40000, { a });
        QCOMPARE(link, QStringLiteral("http://192.168.1.20:40000/list?files=[{\"filename\":\"a.txt\",\"size\":5}]"));
        // The share rewrites the stored "static" group with the shared folder.
        QCOMPARE(QSettings().value(QStringLiteral("static/path")).toString(), QDir(share.path()).absolutePath());
        // The static assets keep coming from beside the executable.
        const auto css = exchange(port, getRequest("/static/app.css"));
        QVERIFY(css->wait());
        QCOMPARE(css->status, 200);
    }

    void shareLinkKeepsNamesTheQueryParserWouldSplit()
    {
        QTemporaryDir share;
        const QString name = QStringLiteral("R&D #1 + 50% off.txt");
        QFile file(share.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString link = server->shareFiles(QStringLiteral("10.0.0.2"), 3000, { file.fileName() });
        QCOMPARE(link,
            QStringLiteral("http://10.0.0.2:3000/list?files=[{\"filename\":\"R%26D%20%231%20%2B%2050%25%20off.txt\","
                           "\"size\":0}]"));

        // The list page asked for with that query (as a browser sends it) shows the name intact
        // and links to it.
        const QString query = link.mid(link.indexOf(QLatin1Char('?')));
        const auto reply = exchange(port, getRequest("/list" + QUrl(query, QUrl::TolerantMode).toEncoded()));
        QVERIFY(reply->wait());
        QVERIFY2(reply->body.contains("R&amp;D #1 + 50% off.txt"), reply->body.constData());
        QVERIFY(reply->body.contains("href=\"/download/R%26D%20%231%20%2B%2050%25%20off.txt\""));
    }

    void shareOfSameNamesPublishesNumberedNames()
    {
        QTemporaryDir one;
        QTemporaryDir two;
        QTemporaryDir three;
        QStringList files;
        for (QTemporaryDir *d : { &one, &two, &three }) {
            QFile file(d->filePath(QStringLiteral("photo.jpg")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            files << file.fileName();
        }
        const QString link = server->shareFiles(QStringLiteral("h"), 1, files);
        QVERIFY2(link.contains(QStringLiteral("\"filename\":\"photo.jpg\"")), qPrintable(link));
        QVERIFY(link.contains(QStringLiteral("\"filename\":\"photo%20(2).jpg\"")));
        QVERIFY(link.contains(QStringLiteral("\"filename\":\"photo%20(3).jpg\"")));
    }

    void shareCarriesSizesOfSixtyFourBits()
    {
        QTemporaryDir share;
        QFile big(share.filePath(QStringLiteral("disk.img")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        // Sparse: takes no space, but has the size of a large file.
        QVERIFY(big.resize(Q_INT64_C(5368709121)));
        big.close();
        const QString link = server->shareFiles(QStringLiteral("h"), 1, { big.fileName() });
        QVERIFY2(link.endsWith(QStringLiteral("\"size\":5368709121}]")), qPrintable(link));
        const auto reply = exchange(
            port, getRequest("/list" + QUrl(link.mid(link.indexOf(QLatin1Char('?'))), QUrl::TolerantMode).toEncoded()));
        QVERIFY(reply->wait());
        QVERIFY(reply->body.contains("<span class=\"size\">5.4GB</span>"));
    }

    void missingFileStillListedWithSizeZero()
    {
        const QString link = server->shareFiles(QStringLiteral("h"), 1, { dir.filePath(QStringLiteral("gone.txt")) });
        QVERIFY2(link.endsWith(QStringLiteral("[{\"filename\":\"gone.txt\",\"size\":0}]")), qPrintable(link));
    }

    void uploadPageLinkNamesAddressAndPort()
    {
        QCOMPARE(uploadPageLink(QStringLiteral("192.168.0.7"), 65535), QStringLiteral("http://192.168.0.7:65535/file"));
        QCOMPARE(uploadPageLink(QString(), 3000), QStringLiteral("http://:3000/file"));
    }

    void serverOnTakenPortDoesNotListen()
    {
        Settings::setWebPort(port);
        WebServer second;
        QCOMPARE(second.serverPort(), quint16(0));
        Settings::setWebPort(0);
        // The first server still answers.
        const auto reply = exchange(port, getRequest("/"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
    }

private:
    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
};

ORVEX_TEST_MAIN(TestWebServer)
#include "tst_webserver.moc"
