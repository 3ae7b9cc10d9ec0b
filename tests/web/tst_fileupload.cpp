#include "core/settings.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/fileuploadcontroller.h"
#include "web/uploadbatch.h"
#include "web/webserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <unistd.h>

using testsupport::exchange;
using testsupport::FormField;
using testsupport::getRequest;
using testsupport::multipartRequest;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFileUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Settings::setWebPort(0);
    }

    // A server per case: deleting it joins its handler threads, so none of them still logs
    // (disconnects, finished requests) while QtTest moves on to the next case, whose message
    // handler and bookkeeping are not safe against such late messages from other threads.
    void init()
    {
        // A fresh download folder below a parent that must stay empty.
        ++round;
        parent = dir.filePath(QStringLiteral("round%1").arg(round));
        downloads = parent + QStringLiteral("/inbox");
        QVERIFY(QDir().mkpath(downloads));
        Settings::setDownloadPath(downloads);
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
        receiveKey = server->startReceiving().toLatin1();
        testsupport::useKeyOf(uploadPageLink(QString(), port, QString::fromLatin1(receiveKey)));
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void getReturnsTheUploadPage()
    {
        const auto reply = exchange(port, getRequest("/file"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QCOMPARE(reply->header("Content-Type"), QByteArray("text/html; charset=UTF-8"));
        QVERIFY(reply->body.contains("data-chunked-above="));
        QVERIFY(reply->body.contains("<script src=\"/static/upload.js\"></script>"));
    }

    void callWithoutShowOnlyReturnsThePage()
    {
        const auto reply = exchange(
            port, multipartRequest("/file", { { "filename", "a.txt", {} }, { "data", "content", "a.txt" } }));
        QVERIFY(reply->wait());
        QVERIFY(reply->body.contains("data-chunked-above="));
        QVERIFY(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    }

    void savesTheFileAndNamesIt_data()
    {
        QTest::addColumn<QString>("tempFolder");
        // On the download folder's file system the upload's temporary file just gets its name
        // there; elsewhere its bytes are copied.
        QTest::addRow("temporary files beside the download folder") << dir.path();
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
            QTest::addRow("temporary files on another file system") << QStringLiteral("/dev/shm");
    }

    void savesTheFileAndNamesIt()
    {
        QFETCH(QString, tempFolder);
        // A folder of its own, so that other programs' temporary files there do not count.
        QTemporaryDir privateTemp(tempFolder + QStringLiteral("/orvex-test-XXXXXX"));
        QVERIFY(privateTemp.isValid());
        tempFolder = privateTemp.path();
        const QByteArray previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tempFolder.toLocal8Bit());
        const QByteArray content = QByteArray("line one\r\nline two\n\0binary\xff", 27) + QByteArray(300000, 'z');
        const QJsonObject answer = upload("a.txt", content);
        const QJsonObject second = upload("a.txt", "second");
        qputenv("TMPDIR", previousTemp);
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录/a.txt！"));
        QCOMPARE(second.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录/a (1).txt！"));
        // Still there after the requests and their temporary files are gone.
        QVERIFY(readFile(downloads + QStringLiteral("/a.txt")) == content);
        QCOMPARE(readFile(downloads + QStringLiteral("/a (1).txt")), QByteArray("second"));
        QVERIFY(QFileInfo(downloads + QStringLiteral("/a.txt")).permissions().testFlag(QFileDevice::ReadOther));
        // A copy is made under a hidden name and renamed when complete: nothing else is left.
        QCOMPARE(QDir(downloads).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            (QStringList { QStringLiteral("a (1).txt"), QStringLiteral("a.txt") }));
        QCOMPARE(QDir(tempFolder).entryList({ QStringLiteral("qt_temp*") }, QDir::Files | QDir::Hidden), QStringList());
    }

    void emptyFileIsSaved()
    {
        const QJsonObject answer = upload("empty.txt", QByteArray());
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
        QVERIFY(QFile::exists(downloads + QStringLiteral("/empty.txt")));
        QCOMPARE(QFileInfo(downloads + QStringLiteral("/empty.txt")).size(), 0);
    }

    void neverOverwrites()
    {
        QFile mine(downloads + QStringLiteral("/notes.txt"));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.write("the user's own notes");
        mine.close();

        const QStringList expected { QStringLiteral("notes (1).txt"), QStringLiteral("notes (2).txt"),
            QStringLiteral("notes (3).txt") };
        for (int i = 0; i < expected.size(); ++i) {
            const QJsonObject answer = upload("notes.txt", "upload " + QByteArray::number(i));
            QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
            QCOMPARE(answer.value(QStringLiteral("msg")).toString(),
                QStringLiteral("文件已保存在下载目录/%1！").arg(expected.at(i)));
            QCOMPARE(readFile(downloads + QLatin1Char('/') + expected.at(i)), "upload " + QByteArray::number(i));
        }
        QCOMPARE(readFile(mine.fileName()), QByteArray("the user's own notes"));

        const QJsonObject noExtension = upload("Makefile", "all:");
        QCOMPARE(noExtension.value(QStringLiteral("ok")).toBool(), true);
        const QJsonObject again = upload("Makefile", "all: again");
        QVERIFY(again.value(QStringLiteral("msg")).toString().endsWith(QStringLiteral("/Makefile (1)！")));
    }

    void hostileNamesStayInTheDownloadFolder_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("saved"); // empty: refused
        QTest::addRow("parent folder") << QByteArray("../evil.txt") << QStringLiteral("evil.txt");
        QTest::addRow("deep climb") << QByteArray("../../../../tmp/evil.txt") << QStringLiteral("evil.txt");
        QTest::addRow("absolute") << QByteArray("/etc/passwd") << QStringLiteral("passwd");
        QTest::addRow("windows path") << QByteArray("C:\\Users\\me\\..\\photo.jpg") << QStringLiteral("photo.jpg");
        QTest::addRow("hidden name is fine") << QByteArray(".profile") << QStringLiteral(".profile");
        QTest::addRow("empty") << QByteArray("") << QString();
        QTest::addRow("dot") << QByteArray(".") << QString();
        QTest::addRow("dot dot") << QByteArray("..") << QString();
        QTest::addRow("ends in dot dot") << QByteArray("a/..") << QString();
        QTest::addRow("ends in slash") << QByteArray("folder/") << QString();
        QTest::addRow("encoded climb stays text") << QByteArray("%2e%2e%2fx.txt") << QStringLiteral("%2e%2e%2fx.txt");
        // Orvex's own names are not for uploads; a name only like a partial upload's is.
        QTest::addRow("record folder of transfers") << QByteArray(".orvex-unfinished") << QString();
        QTest::addRow("partial file of a transfer") << QByteArray("a/.orvex-0123456789abcdef.part") << QString();
        QTest::addRow("own name in other case") << QByteArray(".ORVEX-Unfinished") << QString();
        QTest::addRow("like a partial upload")
            << QByteArray(".upload.orvex-part") << QStringLiteral(".upload.orvex-part");
    }

    void hostileNamesStayInTheDownloadFolder()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, saved);
        const QJsonObject answer = upload(name, "payload");
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), !saved.isEmpty());
        if (saved.isEmpty()) {
            QCOMPARE(answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件名无效，文件上传失败！"));
            QVERIFY(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
        } else {
            QCOMPARE(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                QStringList { saved });
            QCOMPARE(readFile(downloads + QLatin1Char('/') + saved), QByteArray("payload"));
        }
        // Nothing appeared beside the download folder.
        QCOMPARE(QDir(parent).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList { QStringLiteral("inbox") });
        // What was saved is the user's: the clean-up at the next start leaves it.
        delete server;
        server = new WebServer(this);
        QCOMPARE(QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            saved.isEmpty() ? QStringList() : QStringList { saved });
    }

    // A browser's page of another origin, another port of this computer included, uploads
    // nothing with the key the browser holds, nor with one in the URL; clients that are no
    // browser send no origin and upload as before.
    void refusesUploadsFromOtherOrigins_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("headers"); // @PORT@ stands for the server's port
        QTest::addColumn<bool>("saved");
        const QByteArray host = "Host: 127.0.0.1:@PORT@\r\n";
        QTest::addRow("no origin") << QByteArray("/file") << QByteArray() << true;
        QTest::addRow("own page") << QByteArray("/file")
                                  << host + "Origin: http://127.0.0.1:@PORT@\r\nSec-Fetch-Site: same-origin\r\n"
                                  << true;
        QTest::addRow("own page, referer only")
            << QByteArray("/file") << host + "Referer: http://127.0.0.1:@PORT@/r/k\r\n"
            << true;
        QTest::addRow("page on another port") << QByteArray("/file") << host + "Origin: http://127.0.0.1:8000\r\n"
                                              << false;
        QTest::addRow("page on another port, key in the URL")
            << QByteArray("/file?key=@KEY@") << host + "Origin: http://127.0.0.1:8000\r\n"
            << false;
        QTest::addRow("page of another host") << QByteArray("/file") << host + "Origin: http://198.18.0.1:@PORT@\r\n"
                                              << false;
        QTest::addRow("opaque origin") << QByteArray("/file") << host + "Origin: null\r\n" << false;
        QTest::addRow("referer on another port")
            << QByteArray("/file") << host + "Referer: http://127.0.0.1:8000/page.html\r\n"
            << false;
        QTest::addRow("fetched from the same site") << QByteArray("/file") << host + "Sec-Fetch-Site: same-site\r\n"
                                                    << false;
        QTest::addRow("origin without a host header")
            << QByteArray("/file") << QByteArray("Host:\r\nOrigin: http://127.0.0.1:@PORT@\r\n") << false;
    }

    void refusesUploadsFromOtherOrigins()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, headers);
        QFETCH(bool, saved);
        headers.replace("@PORT@", QByteArray::number(port));
        target.replace("@KEY@", receiveKey);
        const auto reply = exchange(port,
            multipartRequest(
                target, { { "action", "show", {} }, { "filename", "x.txt", {} }, { "data", "x", "x" } }, headers));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, saved ? 200 : 403);
        QCOMPARE(QFile::exists(downloads + QStringLiteral("/x.txt")), saved);
    }

    void uploadIsWrittenIntoTheDownloadFolder_data()
    {
        QTest::addColumn<bool>("cutOff");
        QTest::addRow("completed") << false;
        QTest::addRow("cut off") << true;
    }

    // The file part goes into a hidden partial file of the download folder as it arrives; it
    // gets its name when complete and goes when the upload is cut off.
    void uploadIsWrittenIntoTheDownloadFolder()
    {
        QFETCH(bool, cutOff);
        const QByteArray content(300000, 'q');
        const QByteArray request = multipartRequest(
            "/file", { { "action", "show", {} }, { "filename", "a.bin", {} }, { "data", content, "a.bin" } });
        const int tail = 1000;
        testsupport::HttpExchange reply(port, request.left(request.size() - tail));
        const auto partial = [this] {
            const QFileInfoList found = QDir(downloads).entryInfoList({ QStringLiteral(".orvex-upload*.orvex-part") },
                QDir::Files | QDir::Hidden);
            return found.size() == 1 && found.first().size() >= 200000 ? found.first().fileName() : QString();
        };
        QTRY_VERIFY(!partial().isEmpty());
        const auto entries = [this] {
            return QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
        };
        if (cutOff) {
            reply.abort();
            QTRY_COMPARE(entries(), QStringList());
            return;
        }
        reply.send(request.right(tail));
        QVERIFY(reply.wait());
        QCOMPARE(QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(entries(), QStringList { QStringLiteral("a.bin") });
        QVERIFY(readFile(downloads + QStringLiteral("/a.bin")) == content);
    }

    void uploadWithoutDataFails()
    {
        const auto reply
            = exchange(port, multipartRequest("/file", { { "action", "show", {} }, { "filename", "a", {} } }));
        QVERIFY(reply->wait());
        QCOMPARE(reply->body, QStringLiteral("{\"msg\":\"文件上传失败！\",\"ok\":false}").toUtf8());
    }

    void missingDownloadFolderIsCreated()
    {
        Settings::setDownloadPath(downloads + QStringLiteral("/not/yet"));
        const QJsonObject answer = upload("late.txt", "x");
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(readFile(downloads + QStringLiteral("/not/yet/late.txt")), QByteArray("x"));
    }

    void unwritableFolderFails()
    {
        if (::geteuid() == 0)
            QSKIP("root writes everywhere");
        QVERIFY(QFile::setPermissions(downloads, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QJsonObject answer = upload("a.txt", "x");
        QFile::setPermissions(downloads, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件上传失败！"));
    }

    // One batch, one folder window: a finish shows the folder once for all files saved since the
    // last batch, a finish without files shows nothing, and a batch that ends within a few
    // seconds of a shown folder has its folder shown when that time is up.
    void finishOpensTheDownloadFolderOncePerBatch()
    {
        QSignalSpy opened(server, &WebServer::folderOpenRequested);
        QSignalSpy received(server, &WebServer::filesReceived);
        QCOMPARE(upload("one.txt", "1").value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(upload("two.txt", "2").value(QStringLiteral("ok")).toBool(), true);
        const QJsonObject answer = finish();
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录！"));
        QTRY_COMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), downloads);
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toInt(), 2);

        QCOMPARE(finish().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(upload("three.txt", "3").value(QStringLiteral("ok")).toBool(), true);
        finish();
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(1).at(0).toInt(), 1);
        QCOMPARE(opened.count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 2, 2 * UploadBatch::minFolderOpenIntervalMs);
    }

    void uploadExpectingContinueIsSaved()
    {
        const auto reply = exchange(port,
            multipartRequest("/file",
                { { "action", "show", {} }, { "filename", "c.txt", {} }, { "data", "continued", "c.txt" } },
                "Expect: 100-continue\r\n"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->interimResponses, 1);
        QCOMPARE(QJsonDocument::fromJson(reply->body).object().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(readFile(downloads + QStringLiteral("/c.txt")), QByteArray("continued"));
    }

    void parametersMayComeFromTheQuery()
    {
        const auto reply = exchange(port,
            multipartRequest("/file?action=show&filename=q%20name.txt", { { "data", "from query", "ignored.bin" } }));
        QVERIFY(reply->wait());
        QCOMPARE(QJsonDocument::fromJson(reply->body).object().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(readFile(downloads + QStringLiteral("/q name.txt")), QByteArray("from query"));
    }

private:
    QJsonObject finish()
    {
        const auto reply
            = exchange(port, multipartRequest("/file/done", { { "action", "show", {} }, { "finish", "finish", {} } }));
        return reply->wait() ? QJsonDocument::fromJson(reply->body).object() : QJsonObject();
    }

    QJsonObject upload(const QByteArray &name, const QByteArray &content)
    {
        const auto reply = exchange(port,
            multipartRequest(
                "/file", { { "action", "show", {} }, { "filename", name, {} }, { "data", content, "upload.bin" } }));
        if (!reply->wait())
            return {};
        return QJsonDocument::fromJson(reply->body).object();
    }

    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
    QByteArray receiveKey;
    int round = 0;
    QString parent;
    QString downloads;
};

ORVEX_TEST_MAIN(TestFileUpload)
#include "tst_fileupload.moc"
