#include "httpserver/httplistener.h"
#include "httpserver/staticfilecontroller.h"
#include "tests/httpserver/responsereader.h"
#include "tests/httpserver/testhandler.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

using tarsel::HttpListener;
using tarsel::StaticFileController;

namespace {

constexpr int responseTimeoutMs = 20000;

void writeFile(const QString &path, const QByteArray &data)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY2(file.open(QFile::WriteOnly | QFile::Truncate), qPrintable(path));
    QCOMPARE(file.write(data), qint64(data.size()));
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (int i = 0; i < size; ++i)
        data[i] = char(generator.bounded(256));
    return data;
}

QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = {}, const QByteArray &version = "HTTP/1.1")
{
    return "GET " + target + " " + version + "\r\nHost: localhost\r\n" + extraHeaders + "\r\n";
}

} // namespace

class TestStaticFileController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setsContentTypeByCaseSensitiveEnding_data();
    void setsContentTypeByCaseSensitiveEnding();
    void usesConfiguredCharsetAndMaxAge();
    void servesDirectoryIndex();
    void servesFromCache_data();
    void servesFromCache();
    void rereadsExpiredEntry();
    void streamsLargeFileChunkedOverKeepAlive();
    void streamsLargeFileRawWhenClosing_data();
    void streamsLargeFileRawWhenClosing();
    void decodesPercentEncodedNames_data();
    void decodesPercentEncodedNames();
    void refusesPathsOutsideDocroot_data();
    void refusesPathsOutsideDocroot();
    void servesConcurrentClients();
    void servesCurl();

private:
    void start(const QVariantMap &staticValues = {});
    bool fetch(httptest::Client &client, int *offset, ParsedResponse *response);
    ParsedResponse fetchOnce(const QByteArray &request);
    QString www(const QString &name = QString()) const { return dir->filePath("www/" + name); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QSettings> staticSettings;
    std::unique_ptr<httptest::TestSettings> listenerSettings;
    std::unique_ptr<StaticFileController> controller;
    std::unique_ptr<HttpListener> listener;
};

void TestStaticFileController::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir(dir->path()).mkpath("www"));
}

void TestStaticFileController::cleanup()
{
    listener.reset();
    controller.reset();
    listenerSettings.reset();
    staticSettings.reset();
    dir.reset();
}

// The docroot is given relative to the settings file, as the application does.
void TestStaticFileController::start(const QVariantMap &staticValues)
{
    staticSettings = std::make_unique<QSettings>(dir->filePath("static.ini"), QSettings::IniFormat);
    staticSettings->setValue("path", "www");
    for (auto it = staticValues.cbegin(); it != staticValues.cend(); ++it)
        staticSettings->setValue(it.key(), it.value());
    controller = std::make_unique<StaticFileController>(staticSettings.get());
    listenerSettings = std::make_unique<httptest::TestSettings>();
    listener = std::make_unique<HttpListener>(listenerSettings->settings(), controller.get());
    QVERIFY(listener->isListening());
}

bool TestStaticFileController::fetch(httptest::Client &client, int *offset, ParsedResponse *response)
{
    return QTest::qWaitFor(
        [&] { return readResponse(client.received, client.closed, offset, response); }, responseTimeoutMs);
}

ParsedResponse TestStaticFileController::fetchOnce(const QByteArray &request)
{
    httptest::Client client(listener->serverPort());
    client.send(request);
    ParsedResponse response;
    int offset = 0;
    if (!fetch(client, &offset, &response))
        qWarning("no complete response to %s", request.constData());
    return response;
}

void TestStaticFileController::setsContentTypeByCaseSensitiveEnding_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("contentType");

    QTest::addRow("png") << "a.png" << QByteArray("image/png");
    QTest::addRow("jpg") << "a.jpg" << QByteArray("image/jpeg");
    QTest::addRow("gif") << "a.gif" << QByteArray("image/gif");
    QTest::addRow("pdf") << "a.pdf" << QByteArray("application/pdf");
    QTest::addRow("txt") << "a.txt" << QByteArray("text/plain; charset=UTF-8");
    QTest::addRow("html") << "a.html" << QByteArray("text/html; charset=UTF-8");
    QTest::addRow("htm") << "a.htm" << QByteArray("text/html; charset=UTF-8");
    QTest::addRow("css") << "a.css" << QByteArray("text/css");
    QTest::addRow("js") << "a.js" << QByteArray("text/javascript");
    QTest::addRow("svg") << "a.svg" << QByteArray("image/svg+xml");
    QTest::addRow("woff") << "a.woff" << QByteArray("font/woff");
    QTest::addRow("woff2") << "a.woff2" << QByteArray("font/woff2");
    QTest::addRow("ttf") << "a.ttf" << QByteArray("application/x-font-ttf");
    QTest::addRow("eot") << "a.eot" << QByteArray("application/vnd.ms-fontobject");
    QTest::addRow("otf") << "a.otf" << QByteArray("application/font-otf");
    QTest::addRow("json") << "a.json" << QByteArray("application/json");
    QTest::addRow("xml") << "a.xml" << QByteArray("text/xml");
    QTest::addRow("upper-case JPG") << "a.JPG" << QByteArray();
    QTest::addRow("mixed-case Html") << "a.Html" << QByteArray();
    QTest::addRow("jpeg") << "a.jpeg" << QByteArray();
    QTest::addRow("no ending") << "README" << QByteArray();
}

void TestStaticFileController::setsContentTypeByCaseSensitiveEnding()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, contentType);

    const QByteArray content = "content of " + fileName.toUtf8();
    writeFile(www(fileName), content);
    start();
    const ParsedResponse response = fetchOnce(get("/" + fileName.toUtf8()));
    QCOMPARE(response.status, 200);
    QCOMPARE(response.body, content);
    QCOMPARE(response.hasHeader("Content-Type"), !contentType.isNull());
    QCOMPARE(response.header("Content-Type"), contentType);
    QCOMPARE(response.header("Cache-Control"), QByteArray("max-age=60"));
}

void TestStaticFileController::usesConfiguredCharsetAndMaxAge()
{
    writeFile(www("page.html"), "<p>");
    start({ { "encoding", "GBK" }, { "maxAge", 3600000 } });
    const ParsedResponse response = fetchOnce(get("/page.html"));
    QCOMPARE(response.header("Content-Type"), QByteArray("text/html; charset=GBK"));
    QCOMPARE(response.header("Cache-Control"), QByteArray("max-age=3600"));
}

void TestStaticFileController::servesDirectoryIndex()
{
    writeFile(www("sub/index.html"), "index one");
    QVERIFY(QDir(www()).mkpath("empty"));
    start();

    for (const QByteArray &target : { QByteArray("/sub"), QByteArray("/sub/") }) {
        const ParsedResponse response = fetchOnce(get(target));
        QCOMPARE(response.status, 200);
        QCOMPARE(response.body, QByteArray("index one"));
        QCOMPARE(response.header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
    }

    // The entry is kept under the path as requested, and keeps the type of the index file.
    writeFile(www("sub/index.html"), "index two");
    httptest::LogCapture log;
    ParsedResponse response = fetchOnce(get("/sub"));
    QCOMPARE(response.body, QByteArray("index one"));
    QCOMPARE(response.header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
    QCOMPARE(log.count("StaticFileController: Cache hit for /sub"), 1);
    QCOMPARE(fetchOnce(get("/sub/index.html")).body, QByteArray("index two"));

    response = fetchOnce(get("/empty"));
    QCOMPARE(response.status, 404);
    QCOMPARE(response.body, QByteArray("404 not found"));
}

void TestStaticFileController::servesFromCache_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<bool>("cached");

    QTest::addRow("small file with defaults") << QVariantMap {} << 100 << true;
    QTest::addRow("cacheTime 0 keeps entries") << QVariantMap { { "cacheTime", 0 } } << 100 << true;
    QTest::addRow("exactly maxCachedFileSize") << QVariantMap { { "maxCachedFileSize", 1000 } } << 1000 << true;
    QTest::addRow("above maxCachedFileSize") << QVariantMap { { "maxCachedFileSize", 1000 } } << 1001 << false;
    QTest::addRow("default maxCachedFileSize") << QVariantMap {} << 65536 << true;
    QTest::addRow("above default maxCachedFileSize") << QVariantMap {} << 65537 << false;
    QTest::addRow("above cacheSize") << QVariantMap { { "cacheSize", 500 } } << 600 << false;
}

// A second request within cacheTime is answered from memory even though the file changed.
void TestStaticFileController::servesFromCache()
{
    QFETCH(QVariantMap, settings);
    QFETCH(int, fileSize);
    QFETCH(bool, cached);

    const QByteArray before(fileSize, 'a');
    const QByteArray after(fileSize, 'b');
    writeFile(www("f.txt"), before);
    start(settings);
    QCOMPARE(fetchOnce(get("/f.txt")).body, before);

    writeFile(www("f.txt"), after);
    httptest::LogCapture log;
    const ParsedResponse response = fetchOnce(get("/f.txt"));
    QCOMPARE(response.status, 200);
    QCOMPARE(response.body, cached ? before : after);
    QCOMPARE(response.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    QCOMPARE(response.header("Cache-Control"), QByteArray("max-age=60"));
    QCOMPARE(log.count("StaticFileController: Cache hit for /f.txt"), cached ? 1 : 0);
    QCOMPARE(log.count("StaticFileController: Cache miss for /f.txt"), cached ? 0 : 1);
}

void TestStaticFileController::rereadsExpiredEntry()
{
    writeFile(www("f.txt"), "one");
    start({ { "cacheTime", 20 } });
    QCOMPARE(fetchOnce(get("/f.txt")).body, QByteArray("one"));
    writeFile(www("f.txt"), "two");
    QTRY_COMPARE_WITH_TIMEOUT(fetchOnce(get("/f.txt")).body, QByteArray("two"), responseTimeoutMs);
}

// Over a keep-alive connection a large file goes out in chunks of one 64 KiB block each; it is
// read from disk again for the next request.
void TestStaticFileController::streamsLargeFileChunkedOverKeepAlive()
{
    const int size = 1500007;
    const QByteArray first = randomBytes(size);
    writeFile(www("big.bin"), first);
    start();
    httptest::Client client(listener->serverPort());
    int offset = 0;
    ParsedResponse response;

    client.send(get("/big.bin"));
    QVERIFY(fetch(client, &offset, &response));
    QCOMPARE(response.status, 200);
    QVERIFY(response.chunked);
    QVERIFY(!response.hasHeader("Content-Length"));
    QCOMPARE(response.chunkCount, (size + 65535) / 65536);
    QCOMPARE(response.body.size(), size);
    QVERIFY(response.body == first);

    QByteArray second = first;
    second[size / 2] = char(~second[size / 2]);
    writeFile(www("big.bin"), second);
    httptest::LogCapture log;
    client.send(get("/big.bin"));
    QVERIFY(fetch(client, &offset, &response));
    QVERIFY(response.body == second);
    QCOMPARE(log.count("StaticFileController: Cache hit"), 0);
    QVERIFY(!client.closed);
    QCOMPARE(offset, client.received.size());
}

void TestStaticFileController::streamsLargeFileRawWhenClosing_data()
{
    QTest::addColumn<QByteArray>("request");

    QTest::addRow("Connection: close") << get("/big.bin", "Connection: close\r\n");
    QTest::addRow("HTTP/1.0") << get("/big.bin", {}, "HTTP/1.0");
}

void TestStaticFileController::streamsLargeFileRawWhenClosing()
{
    QFETCH(QByteArray, request);

    const QByteArray content = randomBytes(1000003);
    writeFile(www("big.bin"), content);
    start();
    const ParsedResponse response = fetchOnce(request);
    QCOMPARE(response.status, 200);
    QVERIFY(response.closeDelimited);
    QCOMPARE(response.header("Connection").toLower(), QByteArray("close"));
    QCOMPARE(response.body.size(), content.size());
    QVERIFY(response.body == content);
}

void TestStaticFileController::decodesPercentEncodedNames_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("target");

    const auto encoded = [](const QString &name) { return "/" + QUrl::toPercentEncoding(name, "/"); };
    QTest::addRow("Chinese name") << "文件.txt" << encoded("文件.txt");
    QTest::addRow("Chinese folder and name") << "资料/说明 第一版.html" << encoded("资料/说明 第一版.html");
    QTest::addRow("plus as space") << "报告 2024.pdf" << QByteArray(encoded("报告").append("+2024.pdf"));
    QTest::addRow("lower-case hex") << "图.png" << encoded("图.png").toLower();
}

void TestStaticFileController::decodesPercentEncodedNames()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, target);

    const QByteArray content = fileName.toUtf8() + " 的内容";
    writeFile(www(fileName), content);
    start();
    const ParsedResponse response = fetchOnce(get(target));
    QCOMPARE(response.status, 200);
    QCOMPARE(response.body, content);
}

void TestStaticFileController::refusesPathsOutsideDocroot_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("log");

    const QString forbidden = QStringLiteral("StaticFileController: detected forbidden characters in path ");
    const QString outside = QStringLiteral("StaticFileController: file ");
    QTest::addRow("climbing out") << QByteArray("/../outside/secret.txt") << 403 << QByteArray("403 forbidden")
                                  << forbidden;
    QTest::addRow("climbing within") << QByteArray("/sub/../a.txt") << 403 << QByteArray("403 forbidden") << forbidden;
    QTest::addRow("encoded dots") << QByteArray("/%2e%2E/outside/secret.txt") << 403 << QByteArray("403 forbidden")
                                  << forbidden;
    QTest::addRow("path without leading slash")
        << QByteArray("-private/secret.txt") << 403 << QByteArray("403 forbidden") << outside;
    QTest::addRow("link to a file outside") << QByteArray("/link.txt") << 403 << QByteArray("403 forbidden") << outside;
    QTest::addRow("link to a folder outside")
        << QByteArray("/outlink/secret.txt") << 403 << QByteArray("403 forbidden") << outside;
    QTest::addRow("link to a folder outside, index")
        << QByteArray("/outlink") << 403 << QByteArray("403 forbidden") << outside;
    QTest::addRow("link inside the docroot") << QByteArray("/inner.txt") << 200 << QByteArray("public") << QString();
    QTest::addRow("dots inside a name") << QByteArray("/a..b.txt") << 200 << QByteArray("dots") << QString();
    QTest::addRow("missing file") << QByteArray("/missing.txt") << 404 << QByteArray("404 not found") << QString();
}

void TestStaticFileController::refusesPathsOutsideDocroot()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, log);

    const QByteArray secret = "secret data";
    writeFile(dir->filePath("outside/secret.txt"), secret);
    writeFile(dir->filePath("outside/index.html"), secret);
    writeFile(dir->filePath("www-private/secret.txt"), secret);
    writeFile(www("a.txt"), "public");
    writeFile(www("a..b.txt"), "dots");
    QVERIFY(QDir(www()).mkpath("sub"));
    QVERIFY(QFile::link(dir->filePath("outside/secret.txt"), www("link.txt")));
    QVERIFY(QFile::link(dir->filePath("outside"), www("outlink")));
    QVERIFY(QFile::link(www("a.txt"), www("inner.txt")));
    start();

    httptest::LogCapture capture;
    httptest::Client client(listener->serverPort());
    client.send(get(target));
    ParsedResponse response;
    int offset = 0;
    QVERIFY(fetch(client, &offset, &response));
    QCOMPARE(response.status, status);
    QCOMPARE(response.body, body);
    QVERIFY(!client.received.contains(secret));
    if (!log.isEmpty())
        QCOMPARE(capture.count(log), 1);
}

// Several connections at once share the controller and its cache.
void TestStaticFileController::servesConcurrentClients()
{
    const QByteArray big = randomBytes(300001);
    writeFile(www("big.bin"), big);
    writeFile(www("small.txt"), "small");
    start();

    std::vector<std::unique_ptr<httptest::Client>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<httptest::Client>(listener->serverPort()));
        clients.back()->send(get("/small.txt") + get("/big.bin") + get("/small.txt"));
    }
    for (auto &client : clients) {
        int offset = 0;
        ParsedResponse response;
        QVERIFY(fetch(*client, &offset, &response));
        QCOMPARE(response.body, QByteArray("small"));
        QVERIFY(fetch(*client, &offset, &response));
        QVERIFY(response.body == big);
        QVERIFY(fetch(*client, &offset, &response));
        QCOMPARE(response.body, QByteArray("small"));
    }
}

// A real client: curl fetches a Chinese name and a large file over one connection, and its
// unnormalised "/.." is refused. The listener needs this thread's event loop, so curl runs
// asynchronously.
void TestStaticFileController::servesCurl()
{
    const QByteArray big = randomBytes(2000003);
    writeFile(www("大文件.bin"), big);
    writeFile(www("说明.txt"), "说明");
    writeFile(dir->filePath("outside/secret.txt"), "secret data");
    start();
    // The expected warning comes from a handler thread. QtTest drops its list of expected
    // messages as soon as this function returns, before cleanup(); a handler still logging then
    // (curl's disconnect) would race with that. Deleting the listener joins its threads first.
    const auto stopListener = qScopeGuard([this] { listener.reset(); });
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(listener->serverPort());

    const auto curl = [](const QStringList &arguments, QByteArray *output) {
        QProcess process;
        process.start(QStringLiteral("curl"), QStringList { "--noproxy", "*", "-sS" } + arguments);
        if (!process.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, responseTimeoutMs))
            return false;
        *output = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };

    QByteArray output;
    const QString text = dir->filePath("text.out");
    const QString binary = dir->filePath("big.out");
    QVERIFY(curl({ "-w", "[%{num_connects}]", "-o", text, base + QUrl::toPercentEncoding("说明.txt"), "-o", binary,
                     base + QUrl::toPercentEncoding("大文件.bin") },
        &output));
    QCOMPARE(output, QByteArray("[1][0]"));
    QFile textFile(text);
    QVERIFY(textFile.open(QFile::ReadOnly));
    QCOMPARE(textFile.readAll(), QByteArray("说明"));
    QFile binaryFile(binary);
    QVERIFY(binaryFile.open(QFile::ReadOnly));
    QVERIFY(binaryFile.readAll() == big);

    QTest::ignoreMessage(
        QtWarningMsg, "StaticFileController: detected forbidden characters in path /../outside/secret.txt");
    QVERIFY(curl({ "--path-as-is", "-w", "[%{http_code}]", base + "../outside/secret.txt" }, &output));
    QCOMPARE(output, QByteArray("403 forbidden[403]"));
}

ORVEX_TEST_MAIN(TestStaticFileController)
#include "tst_staticfilecontroller.moc"
