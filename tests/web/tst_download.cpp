#include "core/settings.h"
#include "tests/support/openfiles.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/downloadfilecontroller.h"
#include "web/webserver.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>
#include <unistd.h>
#include <vector>

using testsupport::exchange;
using testsupport::getRequest;
using testsupport::HttpExchange;

namespace {

QByteArray randomBytes(int size)
{
    QByteArray data(size + 3, Qt::Uninitialized);
    QRandomGenerator generator { quint32(size) };
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), (size + 3) / 4);
    data.truncate(size);
    return data;
}

// All bytes this process has read so far, from files and sockets alike ("rchar").
qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Settings::setWebPort(0);

        // Shared: a.txt, image.png, the big file and two files from other folders, one of them
        // called a.txt too. Not shared: secret.txt beside them and the sub-folder's contents.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("share/sub")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("other")));
        big = randomBytes(3 * 1024 * 1024 + 17);
        QVERIFY(writeFile(path("share/a.txt"), "first a"));
        QVERIFY(writeFile(path("share/image.png"), randomBytes(1000)));
        QVERIFY(writeFile(path("share/big.bin"), big));
        QFile bigFile(path("share/big.bin"));
        QVERIFY(bigFile.open(QIODevice::ReadWrite));
        QVERIFY(bigFile.setFileTime(
            QDateTime(QDate(2024, 3, 5), QTime(6, 7, 8, 900), Qt::UTC), QFileDevice::FileModificationTime));
        QVERIFY(writeFile(path("share/secret.txt"), "not shared"));
        QVERIFY(writeFile(path("share/sub/inner.txt"), "not shared either"));
        QVERIFY(writeFile(path("share/报告 2024;v1.pdf"), "%PDF"));
        QVERIFY(writeFile(path("share/photo.JPG"), "jpeg"));
        QVERIFY(writeFile(path("other/a.txt"), "second a"));
        QVERIFY(writeFile(path("other/elsewhere.txt"), "from another folder"));
    }

    // A server per case: deleting it joins its handler threads, so none of them still logs
    // (disconnects, finished requests) while QtTest moves on to the next case, whose message
    // handler and bookkeeping are not safe against such late messages from other threads.
    void init()
    {
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
        share();
    }

    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    void servesSharedFilesAsAttachments_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("disposition");
        QTest::addRow("text") << QByteArray("/download/a.txt") << QStringLiteral("share/a.txt")
                              << QByteArray("text/plain; charset=UTF-8")
                              << QByteArray("attachment; filename=\"a.txt\"");
        QTest::addRow("png") << QByteArray("/download/image.png") << QStringLiteral("share/image.png")
                             << QByteArray("image/png") << QByteArray("attachment; filename=\"image.png\"");
        QTest::addRow("large, streamed") << QByteArray("/download/big.bin") << QStringLiteral("share/big.bin")
                                         << QByteArray() << QByteArray("attachment; filename=\"big.bin\"");
        QTest::addRow("from another folder")
            << QByteArray("/download/elsewhere.txt") << QStringLiteral("other/elsewhere.txt")
            << QByteArray("text/plain; charset=UTF-8") << QByteArray("attachment; filename=\"elsewhere.txt\"");
        QTest::addRow("same name, numbered")
            << QByteArray("/download/a%20(2).txt") << QStringLiteral("other/a.txt")
            << QByteArray("text/plain; charset=UTF-8") << QByteArray("attachment; filename=\"a (2).txt\"");
        QTest::addRow("non-ASCII name with space and semicolon")
            << QByteArray("/download/%E6%8A%A5%E5%91%8A%202024%3Bv1.pdf") << QStringLiteral("share/报告 2024;v1.pdf")
            << QByteArray("application/pdf")
            << QStringLiteral("attachment; filename=\"报告 2024;v1.pdf\"; "
                              "filename*=UTF-8''%E6%8A%A5%E5%91%8A%202024%3Bv1.pdf")
                   .toUtf8();
        QTest::addRow("upper-case ending has no type")
            << QByteArray("/download/photo.JPG") << QStringLiteral("share/photo.JPG") << QByteArray()
            << QByteArray("attachment; filename=\"photo.JPG\"");
    }

    void servesSharedFilesAsAttachments()
    {
        QFETCH(QByteArray, target);
        QFETCH(QString, file);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, disposition);
        QFile expected(path(file));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QByteArray bytes = expected.readAll();

        const auto reply = exchange(port, getRequest(target));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QCOMPARE(reply->body.size(), bytes.size());
        QVERIFY(reply->body == bytes);
        QCOMPARE(reply->header("Content-Type"), contentType);
        QCOMPARE(QString::fromUtf8(reply->header("Content-Disposition")), QString::fromUtf8(disposition));
        QCOMPARE(reply->header("Cache-Control"), QByteArray("max-age=60"));
        QCOMPARE(reply->header("Content-Length"), QByteArray::number(bytes.size()));
    }

    void refusesEverythingNotShared_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<int>("status");
        QTest::addRow("other file of the folder") << QByteArray("/download/secret.txt") << 404;
        QTest::addRow("sub-folder") << QByteArray("/download/sub/inner.txt") << 404;
        QTest::addRow("the folder itself") << QByteArray("/download/sub") << 404;
        QTest::addRow("no name") << QByteArray("/download") << 404;
        QTest::addRow("empty name") << QByteArray("/download/") << 404;
        QTest::addRow("climbing") << QByteArray("/download/../share/secret.txt") << 403;
        QTest::addRow("encoded climbing") << QByteArray("/download/%2E%2E/share/secret.txt") << 403;
        QTest::addRow("absolute path") << QByteArray("/download//etc/passwd") << 404;
        QTest::addRow("real path of a shared file")
            << QDir(dir.path()).filePath(QStringLiteral("share/a.txt")).prepend(QStringLiteral("/download")).toUtf8()
            << 404;
        QTest::addRow("nested download prefix") << QByteArray("/download/x/download/a.txt") << 404;
        QTest::addRow("prefix without slash") << QByteArray("/downloada.txt") << 404;
        QTest::addRow("original name of the numbered file") << QByteArray("/download/other/a.txt") << 404;
    }

    void refusesEverythingNotShared()
    {
        QFETCH(QByteArray, target);
        QFETCH(int, status);
        const auto reply = exchange(port, getRequest(target));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, status);
        QCOMPARE(reply->body, status == 404 ? QByteArray("404 not found") : QByteArray("403 forbidden"));
        QVERIFY(reply->header("Content-Disposition").isEmpty());
    }

    void smallFilesComeFromTheCacheForAMinute()
    {
        QVERIFY(writeFile(path("share/cached.txt"), "old"));
        share();
        const auto first = exchange(port, getRequest("/download/cached.txt"));
        QVERIFY(first->wait());
        QCOMPARE(first->body, QByteArray("old"));
        QVERIFY(writeFile(path("share/cached.txt"), "new content"));
        const auto second = exchange(port, getRequest("/download/cached.txt"));
        QVERIFY(second->wait());
        QCOMPARE(second->body, QByteArray("old"));
        QCOMPARE(second->header("Content-Disposition"), QByteArray("attachment; filename=\"cached.txt\""));
        QCOMPARE(second->header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
        QCOMPARE(second->header("Content-Length"), QByteArray("3"));

        // A new share starts with an empty cache.
        share();
        const auto third = exchange(port, getRequest("/download/cached.txt"));
        QVERIFY(third->wait());
        QCOMPARE(third->body, QByteArray("new content"));
    }

    void fileRemovedAfterSharingIsNotFound()
    {
        QVERIFY(writeFile(path("share/fleeting.bin"), QByteArray(70000, 'x')));
        share();
        QVERIFY(QFile::remove(path("share/fleeting.bin")));
        const auto reply = exchange(port, getRequest("/download/fleeting.bin"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 404);
    }

    void unreadableSharedFileIsForbidden()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        QVERIFY(writeFile(path("share/locked.txt"), "x"));
        share();
        QVERIFY(QFile::setPermissions(path("share/locked.txt"), QFileDevice::WriteOwner));
        const auto reply = exchange(port, getRequest("/download/locked.txt"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 403);
    }

    void newShareReplacesTheOldOneWhileDownloadsRun()
    {
        // Larger than what the loopback socket buffers hold, so the handlers are still inside
        // the old controller when the share changes.
        const QByteArray race = randomBytes(24 * 1024 * 1024);
        QVERIFY(writeFile(path("share/race.bin"), race));
        share();
        std::vector<std::unique_ptr<HttpExchange>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<HttpExchange>(port, getRequest("/download/race.bin")));
            held.back()->setPaused(true);
        }
        for (const auto &reply : held)
            QTRY_VERIFY(reply->bytesWaiting() > 0);

        testsupport::useKeyOf(server->shareFiles(QStringLiteral("h"), 1, { path("other/elsewhere.txt") }));
        const auto after = exchange(port, getRequest("/download/race.bin"));
        QVERIFY(after->wait());
        QCOMPARE(after->status, 404);
        const auto fresh = exchange(port, getRequest("/download/elsewhere.txt"));
        QVERIFY(fresh->wait());
        QCOMPARE(fresh->body, QByteArray("from another folder"));

        // The old controller lives on until the last of its downloads is done.
        for (const auto &reply : held) {
            reply->setPaused(false);
            QVERIFY(reply->wait());
            QCOMPARE(reply->status, 200);
            QCOMPARE(reply->body.size(), race.size());
            QVERIFY(reply->body == race);
        }
        QFile::remove(path("share/race.bin"));
        share();
    }

    // A phone that cancels a download resets the connection: the server reads no more of the
    // file than it had sent, rather than the rest of it for nobody.
    void cancelledDownloadStopsReadingTheFile()
    {
        constexpr qint64 hugeSize = qint64(1) << 30;
        QFile huge(path("share/huge.bin"));
        // Sparse: costs no disk, yet every byte of it must be read to be sent.
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(hugeSize));
        huge.close();
        share();
        const qint64 before = bytesReadByProcess();
        QVERIFY(before >= 0);
        {
            HttpExchange reply(port, getRequest("/download/huge.bin"));
            reply.setPaused(true);
            QTRY_VERIFY(reply.bytesWaiting() > 0);
            // Unread bytes in its receive buffer make the close a reset.
            reply.abort();
        }
        // The handler has left the send loop once it closed the file.
        QTRY_VERIFY_WITH_TIMEOUT(testsupport::openFilesBelow(path("share")).isEmpty(), 60000);
        const qint64 read = bytesReadByProcess() - before;
        QVERIFY2(read < hugeSize / 8, qPrintable(QStringLiteral("read %1 bytes after the reset").arg(read)));
        // And the server goes on serving.
        const auto next = exchange(port, getRequest("/download/a.txt"));
        QVERIFY(next->wait());
        QCOMPARE(next->body, QByteArray("first a"));
        QFile::remove(path("share/huge.bin"));
    }

    void answersOneRangeOfAFile_data()
    {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<QByteArray>("ifRange"); // ETAG and DATE stand for the file's own validators
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        const qint64 size = big.size();
        const QByteArray end = QByteArray::number(size - 1);
        QTest::addRow("first byte") << QByteArray("bytes=0-0") << QByteArray() << 206 << qint64(0) << qint64(0);
        QTest::addRow("last byte") << "bytes=" + end + '-' + end << QByteArray() << 206 << size - 1 << size - 1;
        QTest::addRow("suffix") << QByteArray("bytes=-500") << QByteArray() << 206 << size - 500 << size - 1;
        QTest::addRow("open-ended") << QByteArray("bytes=1000-") << QByteArray() << 206 << qint64(1000) << size - 1;
        QTest::addRow("past the end") << "bytes=" + QByteArray::number(size) + '-' << QByteArray() << 416 << qint64(0)
                                      << qint64(-1);
        QTest::addRow("two ranges: the whole")
            << QByteArray("bytes=0-1,5-6") << QByteArray() << 200 << qint64(0) << size - 1;
        QTest::addRow("If-Range, current tag")
            << QByteArray("bytes=10-19") << QByteArray("ETAG") << 206 << qint64(10) << qint64(19);
        QTest::addRow("If-Range, stale tag")
            << QByteArray("bytes=10-19") << QByteArray("\"1-2-3\"") << 200 << qint64(0) << size - 1;
        QTest::addRow("If-Range, current date")
            << QByteArray("bytes=10-19") << QByteArray("DATE") << 206 << qint64(10) << qint64(19);
        QTest::addRow("If-Range, stale date")
            << QByteArray("bytes=10-19") << QByteArray("Mon, 01 Jan 2001 00:00:00 GMT") << 200 << qint64(0) << size - 1;
    }

    void answersOneRangeOfAFile()
    {
        QFETCH(QByteArray, range);
        QFETCH(QByteArray, ifRange);
        QFETCH(int, status);
        QFETCH(qint64, first);
        QFETCH(qint64, last);
        // The validators, from a HEAD request: headers alone, nothing after them.
        const auto head = exchange(port, headRequest("/download/big.bin"));
        QVERIFY(head->wait());
        QCOMPARE(head->status, 200);
        QCOMPARE(head->header("Content-Length"), QByteArray::number(big.size()));
        QVERIFY(head->raw.endsWith("\r\n\r\n"));
        QCOMPARE(head->header("Accept-Ranges"), QByteArray("bytes"));
        const QByteArray etag = head->header("ETag");
        QVERIFY(etag.startsWith('"') && etag.endsWith('"') && etag.size() > 2);
        QCOMPARE(head->header("Last-Modified"), QByteArray("Tue, 05 Mar 2024 06:07:08 GMT"));
        ifRange.replace("ETAG", etag).replace("DATE", head->header("Last-Modified"));

        QByteArray headers = "Range: " + range + "\r\n";
        if (!ifRange.isEmpty())
            headers += "If-Range: " + ifRange + "\r\n";
        const auto reply = exchange(port, getRequest("/download/big.bin", headers));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, status);
        const QByteArray size = QByteArray::number(big.size());
        if (status == 416) {
            QCOMPARE(reply->header("Content-Range"), "bytes */" + size);
            QVERIFY(reply->body.isEmpty());
            return;
        }
        QCOMPARE(reply->header("Content-Range"),
            status == 206 ? "bytes " + QByteArray::number(first) + '-' + QByteArray::number(last) + '/' + size
                          : QByteArray());
        QCOMPARE(reply->header("Content-Length"), QByteArray::number(last - first + 1));
        QVERIFY(reply->body == big.mid(int(first), int(last - first + 1)));
        QCOMPARE(reply->header("ETag"), etag);
    }

    // A real HTTP/1.1 client: both answers come over the connection the first one opened.
    void keepsTheConnectionForTheNextRequest()
    {
        QByteArray output;
        const QString url = QStringLiteral("http://127.0.0.1:%1/download/%2?key=") + shareKey;
        QCOMPARE(testsupport::runTool(QStringLiteral("curl"),
                     { QStringLiteral("-s"), QStringLiteral("-w"),
                         QStringLiteral("%{num_connects} %{http_code} %{size_download}\n"), QStringLiteral("-o"),
                         QStringLiteral("/dev/null"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                         url.arg(port).arg(QStringLiteral("a.txt")), url.arg(port).arg(QStringLiteral("big.bin")) },
                     &output),
            0);
        QCOMPARE(output, "1 200 7\n0 200 " + QByteArray::number(big.size()) + '\n');
    }

    void curlResumesACutDownload()
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1/download/big.bin?key=%2").arg(port).arg(shareKey);
        const QString saved = path("resumed.bin");
        QFile::remove(saved);
        // The first megabyte, as a download cut off there leaves it.
        QCOMPARE(testsupport::runTool(QStringLiteral("curl"),
                     { QStringLiteral("-sf"), QStringLiteral("-r"), QStringLiteral("0-999999"), QStringLiteral("-o"),
                         saved, url }),
            0);
        QCOMPARE(QFileInfo(saved).size(), 1000000);
        QByteArray output;
        QCOMPARE(testsupport::runTool(QStringLiteral("curl"),
                     { QStringLiteral("-sf"), QStringLiteral("-C"), QStringLiteral("-"), QStringLiteral("-w"),
                         QStringLiteral("%{http_code} %{size_download}"), QStringLiteral("-o"), saved, url },
                     &output),
            0);
        QCOMPARE(output, "206 " + QByteArray::number(big.size() - 1000000));
        QFile resumed(saved);
        QVERIFY(resumed.open(QIODevice::ReadOnly));
        QVERIFY(resumed.readAll() == big);
    }

private:
    QString path(const QString &relative) const { return QDir(dir.path()).filePath(relative); }

    static QByteArray headRequest(const QByteArray &target)
    {
        // Closed after the answer, so that anything sent after the headers would show.
        return "HEAD " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            + testsupport::keyCookieHeader() + "\r\n";
    }

    void share()
    {
        const QString link = server->shareFiles(QStringLiteral("127.0.0.1"), port,
            { path("share/a.txt"), path("share/image.png"), path("share/big.bin"), path("other/a.txt"),
                path("other/elsewhere.txt"), path("share/报告 2024;v1.pdf"), path("share/photo.JPG"),
                path("share/cached.txt"), path("share/fleeting.bin"), path("share/locked.txt"), path("share/race.bin"),
                path("share/huge.bin") });
        testsupport::useKeyOf(link);
        shareKey = testsupport::keyOf(link);
    }

    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
    QByteArray big;
    QString shareKey;
};

ORVEX_TEST_MAIN(TestDownload)
#include "tst_download.moc"
