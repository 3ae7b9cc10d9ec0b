#include "core/settings.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/webserver.h"
#include "web/ziparchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

using testsupport::getRequest;

namespace {

constexpr qint64 sparseSize = (qint64(4) << 30) + 100;

// Holes of a sparse file on tmpfs read as the shared zero page; on a disk file system every read
// of a hole first fills the page cache, which made the 4 GiB file several times slower to read.
QString temporaryFolder()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/orvex-zip-XXXXXX");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    return data;
}

// What checkzip.py found, read from its JSON.
QJsonObject checkZip(const QStringList &arguments, const QJsonObject &originals)
{
    QByteArray output;
    const int exitCode = testsupport::runTool(QStringLiteral("python3"),
        QStringList { QStringLiteral(ORVEX_CHECKZIP) } << arguments
                                                       << QString::fromUtf8(QJsonDocument(originals).toJson()),
        &output, 120000);
    return exitCode == 0 ? QJsonDocument::fromJson(output).object() : QJsonObject();
}

} // namespace

class TestZipArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        Settings::setWebPort(0);
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("share")));
        QVERIFY(writeFile(path("照片 2024.jpg"), randomBytes(100000)));
        QVERIFY(writeFile(path("Ünïcode — 名字.bin"), randomBytes(3000017)));
        QVERIFY(writeFile(path("empty.txt"), QByteArray()));
        // Sparse past 4 GiB, with marks at its start, across the 32-bit limit and at its end.
        QFile sparse(path("sparse.bin"));
        QVERIFY(sparse.open(QIODevice::ReadWrite) && sparse.resize(sparseSize));
        for (const qint64 at : { qint64(0), qint64(0xffffffff) - 2, sparseSize - 5 })
            QVERIFY(sparse.seek(at) && sparse.write("mark!") == 5);
    }

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

    // Over 4 GiB in one file, with offsets past 4 GiB after it: every ZIP64 field is used.
    void archivesAllSharedFilesForZipfile()
    {
        const QStringList names { QStringLiteral("empty.txt"), QStringLiteral("sparse.bin"),
            QStringLiteral("Ünïcode — 名字.bin"), QStringLiteral("照片 2024.jpg") };
        QStringList paths;
        QJsonObject originals;
        for (const QString &name : names) {
            paths << path(name);
            originals.insert(name, path(name));
        }
        const QString key = testsupport::keyOf(server->shareFiles(QStringLiteral("127.0.0.1"), port, paths));
        const QString url = QStringLiteral("http://127.0.0.1:%1/archive?key=%2").arg(port).arg(key);

        const QJsonObject result = checkZip({ url, dir.filePath(QStringLiteral("all.zip")) }, originals);
        QCOMPARE(result.value(QStringLiteral("status")).toInt(), 200);
        const qint64 received = qint64(result.value(QStringLiteral("received")).toDouble());
        QVERIFY(received > sparseSize);
        QCOMPARE(qint64(result.value(QStringLiteral("contentLength")).toDouble()), received);
        const QJsonArray entries = result.value(QStringLiteral("entries")).toArray();
        QCOMPARE(entries.size(), names.size());
        for (int i = 0; i < names.size(); ++i) {
            const QJsonObject entry = entries.at(i).toObject();
            QCOMPARE(entry.value(QStringLiteral("name")).toString(), names.at(i));
            QCOMPARE(qint64(entry.value(QStringLiteral("size")).toDouble()), QFileInfo(paths.at(i)).size());
            QVERIFY(entry.value(QStringLiteral("utf8")).toBool());
            QVERIFY2(entry.value(QStringLiteral("same")).toBool(), qPrintable(names.at(i)));
        }
    }

    void manyEntriesGetTheZip64End()
    {
        constexpr int count = 65600;
        QList<ZipArchive::Member> members;
        for (int i = 0; i < count; ++i)
            members.append({ QStringLiteral("空/%1.txt").arg(i), path(QStringLiteral("empty.txt")) });
        const ZipArchive archive(members);
        QFile out(dir.filePath(QStringLiteral("many.zip")));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(archive.write([&out](const QByteArray &bytes) { return out.write(bytes) == bytes.size(); }));
        out.close();
        QCOMPARE(out.size(), archive.size());
        QVERIFY(out.open(QIODevice::ReadOnly) && out.seek(archive.size() - 42));
        QCOMPARE(out.read(4), QByteArray("PK\x06\x07"));

        const QJsonObject result = checkZip({ QStringLiteral("--file"), out.fileName() },
            QJsonObject { { QStringLiteral("空/65599.txt"), path(QStringLiteral("empty.txt")) } });
        const QJsonArray entries = result.value(QStringLiteral("entries")).toArray();
        QCOMPARE(entries.size(), count);
        QCOMPARE(entries.last().toObject().value(QStringLiteral("name")).toString(), QStringLiteral("空/65599.txt"));
        QVERIFY(entries.last().toObject().value(QStringLiteral("same")).toBool());
    }

    // A file that changes size while the archive streams ends the connection short of the
    // announced length, rather than sending an archive that does not hold the file.
    void fileChangingMidStreamCutsTheDownloadShort()
    {
        const QByteArray first = randomBytes(24 * 1024 * 1024);
        QVERIFY(writeFile(path("share/a.bin"), first));
        QVERIFY(writeFile(path("share/b.txt"), "will change"));
        testsupport::useKeyOf(server->shareFiles(QStringLiteral("127.0.0.1"), port,
            { path(QStringLiteral("share/a.bin")), path(QStringLiteral("share/b.txt")) }));
        testsupport::HttpExchange reply(port, getRequest("/archive"));
        reply.setPaused(true);
        QTRY_VERIFY(reply.bytesWaiting() > 0);
        QVERIFY(writeFile(path("share/b.txt"), "changed"));
        reply.setPaused(false);
        QVERIFY(reply.wait());
        QCOMPARE(reply.status, 200);
        const qint64 announced = reply.header("Content-Length").toLongLong();
        QVERIFY(announced > first.size());
        QVERIFY(reply.body.size() < announced);
        QVERIFY(reply.body.contains(first));
    }

private:
    QString path(const QString &name) const
    {
        return dir.filePath(name.contains(QLatin1Char('/')) ? name : QStringLiteral("share/") + name);
    }

    QTemporaryDir dir { temporaryFolder() };
    WebServer *server = nullptr;
    quint16 port = 0;
};

ORVEX_TEST_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
