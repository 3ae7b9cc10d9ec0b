#include "core/settings.h"
#include "tests/support/openfiles.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/accesskeys.h"
#include "web/webserver.h"
#include "web/websettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <tuple>

using testsupport::exchange;
using testsupport::getRequest;

namespace {

// What each page of the templates says about itself.
const QByteArray notFoundMark = "<div class=\"code\">404</div>";
const QByteArray uploadMark = "data-chunked-above=";
const QByteArray listMark = "<ul class=\"files\">";
const QByteArray deniedMark = "<section class=\"card lost denied\">";

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
        testsupport::useKeyOf(QString());
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
        QTest::addRow("hugefile") << QByteArray("/hugefile") << 200 << uploadMark;
        QTest::addRow("hugefile/x") << QByteArray("/hugefile/x") << 200 << uploadMark;
        QTest::addRow("list") << QByteArray("/list") << 200 << listMark;
        QTest::addRow("listing") << QByteArray("/listing") << 200 << listMark;
        QTest::addRow("encoded list") << QByteArray("/%6Cist") << 200 << listMark;
        QTest::addRow("plus decodes to space, no route") << QByteArray("/+list") << 200 << notFoundMark;
        QTest::addRow("static asset") << QByteArray("/static/app.css") << 200 << QByteArray(".files");
        QTest::addRow("download of a file not shared")
            << QByteArray("/download/a.txt") << 404 << QByteArray("404 not found");
    }

    void routesByDecodedPathPrefix()
    {
        useLiveKeys();
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
        useLiveKeys();
        const auto reply
            = exchange(port, "DELETE /list HTTP/1.1\r\nHost: x\r\n" + testsupport::keyCookieHeader() + "\r\n");
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
        useLiveKeys();
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

    void shareLinkIsShortAndListsTheServersShare()
    {
        QTemporaryDir share;
        const QString a = share.filePath(QStringLiteral("a.txt"));
        QFile file(a);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("hello");
        file.close();
        const QString link = server->shareFiles(QStringLiteral("192.168.1.20"), 40000, { a });
        static const QRegularExpression form(QStringLiteral("^http://192\\.168\\.1\\.20:40000/s/[A-Za-z0-9_-]{22}$"));
        QVERIFY2(form.match(link).hasMatch(), qPrintable(link));
        QCOMPARE(server->shareLink(QStringLiteral("10.0.0.1"), 3000),
            QStringLiteral("http://10.0.0.1:3000/s/") + testsupport::keyOf(link));
        // The share rewrites the stored "static" group with the shared folder.
        QCOMPARE(QSettings().value(QStringLiteral("static/path")).toString(), QDir(share.path()).absolutePath());
        // The static assets keep coming from beside the executable, to anybody.
        testsupport::useKeyOf(QString());
        const auto css = exchange(port, getRequest("/static/app.css"));
        QVERIFY(css->wait());
        QCOMPARE(css->status, 200);
    }

    void listPageShowsNamesAndSizesOfTheShare_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("shownName");
        QTest::addColumn<QByteArray>("shownLink");
        QTest::addColumn<QByteArray>("shownSize");
        QTest::addRow("characters a query would split")
            << QStringLiteral("R&D #1 + 50% off.txt") << qint64(0) << QByteArray("R&amp;D #1 + 50% off.txt")
            << QByteArray("/download/R%26D%20%231%20%2B%2050%25%20off.txt") << QByteArray("0 B");
        // Sparse: takes no space, but has the size of a large file.
        QTest::addRow("sixty-four-bit size")
            << QStringLiteral("disk.img") << Q_INT64_C(5368709121) << QByteArray("disk.img")
            << QByteArray("/download/disk.img") << QByteArray("5.37 GB");
    }

    void listPageShowsNamesAndSizesOfTheShare()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(QByteArray, shownName);
        QFETCH(QByteArray, shownLink);
        QFETCH(QByteArray, shownSize);
        QTemporaryDir share;
        QFile file(share.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
        file.close();
        const QString link = server->shareFiles(QStringLiteral("h"), 1, { file.fileName() });
        testsupport::useKeyOf(QString());
        const auto reply = exchange(port, getRequest(QUrl(link).path().toUtf8()));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QVERIFY2(reply->body.contains("<span class=\"name\">" + shownName + "</span>"), reply->body.constData());
        QVERIFY(reply->body.contains("href=\"" + shownLink + "\""));
        QVERIFY(reply->body.contains("<span class=\"size\">" + shownSize + "</span>"));
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
        // A file gone meanwhile is still listed, with size 0.
        files << dir.filePath(QStringLiteral("gone.txt"));
        testsupport::useKeyOf(server->shareFiles(QStringLiteral("h"), 1, files));
        const auto reply = exchange(port, getRequest("/list"));
        QVERIFY(reply->wait());
        const QByteArray body = reply->body;
        QVERIFY2(body.contains("href=\"/download/photo.jpg\""), body.constData());
        QVERIFY(body.contains("href=\"/download/photo%20%282%29.jpg\""));
        QVERIFY(body.contains("href=\"/download/photo%20%283%29.jpg\""));
        QVERIFY(body.contains("<span class=\"name\">gone.txt</span>\n<span class=\"size\">0 B</span>"));
    }

    void uploadPageLinkNamesAddressPortAndKey()
    {
        QCOMPARE(uploadPageLink(QStringLiteral("192.168.0.7"), 65535, QStringLiteral("k3y")),
            QStringLiteral("http://192.168.0.7:65535/r/k3y"));
        QCOMPARE(uploadPageLink(QString(), 3000, QStringLiteral("k")), QStringLiteral("http://:3000/r/k"));
    }

    void keysAreRandomAndUrlSafe()
    {
        QSet<QByteArray> seen;
        static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9_-]{22}$"));
        for (int i = 0; i < 100; ++i) {
            const QByteArray key = AccessKeys::newKey();
            QVERIFY2(form.match(QString::fromLatin1(key)).hasMatch(), key.constData());
            seen.insert(key);
        }
        QCOMPARE(seen.size(), 100);
    }

    // The link's key opens its pages and is handed on in a cookie for this session only, to
    // this server only, and out of the scripts' reach.
    void keyedLinkSetsTheKeyCookie_data()
    {
        QTest::addColumn<bool>("share");
        QTest::addColumn<QByteArray>("mark");
        QTest::addRow("share") << true << listMark;
        QTest::addRow("receive") << false << uploadMark;
    }

    void keyedLinkSetsTheKeyCookie()
    {
        QFETCH(bool, share);
        QFETCH(QByteArray, mark);
        const QString link = share ? server->shareFiles(QStringLiteral("h"), 1, {})
                                   : uploadPageLink(QStringLiteral("h"), 1, server->startReceiving());
        testsupport::useKeyOf(QString());
        const auto reply = exchange(port, getRequest(QUrl(link).path().toUtf8()));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QVERIFY(reply->body.contains(mark));
        const QByteArray cookie = (share ? "orvex_share=" : "orvex_receive=") + testsupport::keyOf(link).toLatin1()
            + "; Path=/; HttpOnly; SameSite=Strict";
        QVERIFY2(reply->header("Set-Cookie").startsWith(cookie), reply->header("Set-Cookie").constData());
        QVERIFY(!reply->header("Set-Cookie").contains("Max-Age"));
    }

    // Without the key of a live share or receive session, no page, upload, chunk or download is
    // served: the same short page and status whatever is wrong with the key, no cookie, and
    // nothing in the download folder. A request with a body is refused from its headers, with
    // no interim answer and without waiting for the body.
    void refusesEveryRouteWithoutALiveKey_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("forShare");
        QTest::addColumn<QByteArray>("request"); // with @KEY@ and @COOKIE@ for the key and its cookie
        testsupport::useKeyOf(QString());
        using testsupport::multipartRequest;
        const QList<testsupport::FormField> upload { { "action", "show", {} }, { "filename", "x.txt", {} },
            { "data", "payload", "x.txt" } };
        const QList<std::tuple<const char *, bool, QByteArray>> routes {
            { "list link", true, getRequest("/s/@KEY@") },
            { "list", true, getRequest("/list", "@COOKIE@") },
            { "list with files and key", true, getRequest("/list?files=%5B%5D&key=@KEY@") },
            { "download", true, getRequest("/download/a.txt", "@COOKIE@") },
            { "download with key", true, getRequest("/download/a.txt?key=@KEY@") },
            { "download all", true, getRequest("/archive", "@COOKIE@") },
            { "upload link", false, getRequest("/r/@KEY@") },
            { "upload page", false, getRequest("/file", "@COOKIE@") },
            { "chunked page", false, getRequest("/hugefile", "@COOKIE@") },
            { "upload", false, multipartRequest("/file", upload, "@COOKIE@") },
            { "upload with key", false, multipartRequest("/file?key=@KEY@", upload) },
            { "upload expecting continue", false,
                multipartRequest("/file", upload, "@COOKIE@Expect: 100-continue\r\n") },
            { "upload finish", false,
                multipartRequest("/file", { { "action", "show", {} }, { "finish", "finish", {} } }, "@COOKIE@") },
            { "chunked begin", false,
                multipartRequest("/hugefile", { { "action", "show", {} }, { "begin", "begin", {} } }, "@COOKIE@") },
            { "chunk", false,
                multipartRequest("/hugefile",
                    { { "action", "show", {} }, { "filename", "x.bin", {} }, { "index", "0", {} },
                        { "data", "chunk", "x.bin" } },
                    "@COOKIE@") },
        };
        for (const char *kind : { "none", "wrong", "closed session", "previous share", "other kind" }) {
            for (const auto &[name, forShare, request] : routes)
                QTest::addRow("%s, %s", kind, name) << QString::fromLatin1(kind) << forShare << request;
        }
    }

    void refusesEveryRouteWithoutALiveKey()
    {
        QFETCH(QString, kind);
        QFETCH(bool, forShare);
        QFETCH(QByteArray, request);
        QTemporaryDir share;
        QFile shared(share.filePath(QStringLiteral("a.txt")));
        QVERIFY(shared.open(QIODevice::WriteOnly));
        shared.close();
        const QString downloads = Settings::downloadPath();
        QDir().mkpath(downloads);

        // The live keys of this case, which must not help.
        const QByteArray previous = testsupport::keyOf(server->shareFiles(QStringLiteral("h"), 1, {})).toLatin1();
        const QByteArray shareKey
            = testsupport::keyOf(server->shareFiles(QStringLiteral("h"), 1, { shared.fileName() })).toLatin1();
        const QByteArray receiveKey = server->startReceiving().toLatin1();
        QByteArray key;
        if (kind == QLatin1String("wrong")) {
            key = AccessKeys::newKey();
        } else if (kind == QLatin1String("closed session")) {
            key = server->startReceiving().toLatin1();
            server->endReceiving(QString::fromLatin1(key));
        } else if (kind == QLatin1String("previous share")) {
            key = previous;
        } else if (kind == QLatin1String("other kind")) {
            key = forShare ? receiveKey : shareKey;
        }
        request.replace("@KEY@", key);
        request.replace("@COOKIE@",
            key.isEmpty() ? QByteArray() : "Cookie: orvex_share=" + key + "; orvex_receive=" + key + "\r\n");

        QSignalSpy opened(server, &WebServer::folderOpenRequested);
        const auto reply = exchange(port, request.left(request.indexOf("\r\n\r\n") + 4));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 403);
        QCOMPARE(reply->interimResponses, 0);
        QVERIFY2(reply->body.contains(deniedMark), reply->body.left(300).constData());
        QVERIFY(reply->header("Set-Cookie").isEmpty());
        QCOMPARE(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
        QCOMPARE(opened.count(), 0);
    }

    // A receive session that ends stops its uploads: the chunked upload is dropped with its
    // partial file, and neither it nor a single upload still arriving leaves anything behind.
    void endedSessionStopsItsUploads()
    {
        const QString downloads = Settings::downloadPath();
        QDir().mkpath(downloads);
        const QString key = server->startReceiving();
        testsupport::useKeyOf(uploadPageLink(QString(), port, key));
        const auto begun = exchange(
            port, testsupport::multipartRequest("/hugefile", { { "action", "show", {} }, { "begin", "begin", {} } }));
        QCOMPARE(begun->status, 200);
        const QByteArray chunk = testsupport::multipartRequest("/hugefile",
            { { "action", "show", {} }, { "filename", "x.bin", {} }, { "index", "0", {} },
                { "data", QByteArray(100000, 'c'), "x.bin" } });
        QVERIFY(exchange(port, chunk)->body.contains("true"));
        const QByteArray single = testsupport::multipartRequest("/file",
            { { "action", "show", {} }, { "filename", "late.txt", {} }, { "data", QByteArray(200000, 's'), "late" } });
        testsupport::HttpExchange arriving(port, single.left(single.size() / 2));
        QVERIFY(!testsupport::openFilesBelow(downloads).isEmpty());

        server->endReceiving(key);
        // The partial file is let go of; whatever may stay of it for a later resumption is hidden.
        QTRY_VERIFY(testsupport::openFilesBelow(downloads).isEmpty());
        QCOMPARE(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        arriving.send(single.mid(single.size() / 2));
        QVERIFY(arriving.wait());
        QCOMPARE(arriving.status, 403);
        const auto next = exchange(port, chunk);
        QCOMPARE(next->status, 403);
        QCOMPARE(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
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
    // Keys of a live share and receive session, as a browser holds them after opening the links.
    void useLiveKeys()
    {
        testsupport::useKeyOf(server->shareFiles(QStringLiteral("127.0.0.1"), port, {}));
        testsupport::useKeyOf(uploadPageLink(QString(), port, server->startReceiving()));
    }

    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
};

ORVEX_TEST_MAIN(TestWebServer)
#include "tst_webserver.moc"
