#include "core/settings.h"
#include "httpserver/httprequest.h"
#include "tests/support/filesizelimit.h"
#include "tests/support/openfiles.h"
#include "tests/support/testmain.h"
#include "tests/web/httpexchange.h"
#include "web/chunkedupload.h"
#include "web/chunkeduploadmap.h"
#include "web/chunkeduploadrequest.h"
#include "web/chunkwriter.h"
#include "web/hugefileuploadcontroller.h"
#include "web/partialfileregistry.h"
#include "web/uploadsupport.h"
#include "web/webserver.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <sys/stat.h>

using testsupport::exchange;
using testsupport::FormField;
using testsupport::getRequest;
using testsupport::HttpExchange;
using testsupport::multipartRequest;

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size + 3, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), (size + 3) / 4);
    data.truncate(size);
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray beginRequest()
{
    return multipartRequest("/hugefile", { { "action", "show", {} }, { "begin", "begin", {} } });
}

// How a chunk travels: as the multipart field "data" after the other fields or before them (as
// other clients may send it), or as the request's body with the fields in the query (as the
// page sends it).
enum ChunkForm { FieldsFirst, DataFirst, AsBody };

QByteArray chunkRequest(const QByteArray &name, const QByteArray &index, const QByteArray &data, int form = FieldsFirst)
{
    if (form == AsBody)
        return "POST /hugefile?action=show&filename=" + QUrl::toPercentEncoding(QString::fromUtf8(name))
            + "&index=" + index + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + testsupport::keyCookieHeader()
            + "Content-Type: application/octet-stream\r\nContent-Length: " + QByteArray::number(data.size())
            + "\r\n\r\n" + data;
    const FormField dataField { "data", data, "blob" };
    QList<FormField> fields { { "action", "show", {} }, { "filename", name, {} }, { "index", index, {} } };
    if (form == DataFirst)
        fields.prepend(dataField);
    else
        fields.append(dataField);
    return multipartRequest("/hugefile", fields);
}

QByteArray finishRequest(const QByteArray &name, const QByteArray &how = "finish")
{
    return multipartRequest("/hugefile", { { "action", "show", {} }, { "finish", how, {} }, { "filename", name, {} } });
}

QJsonObject answerOf(HttpExchange &reply)
{
    if (!reply.wait())
        return { { QStringLiteral("timeout"), true } };
    return QJsonDocument::fromJson(reply.body).object();
}

QJsonObject call(quint16 port, const QByteArray &request, const QHostAddress &from = QHostAddress::LocalHost)
{
    HttpExchange reply(port, request, from);
    return answerOf(reply);
}

QJsonObject refusal(const QString &message)
{
    return { { QStringLiteral("ok"), false }, { QStringLiteral("msg"), message } };
}

// Where to cut a request so that half of data is sent.
int middleOf(const QByteArray &request, const QByteArray &data)
{
    return request.indexOf(data) + data.size() / 2;
}

const QJsonObject okOnly { { QStringLiteral("ok"), true } };
const QJsonObject noUpload = refusal(QStringLiteral("没有正在进行的大文件传输，请重新开始上传！"));
const QJsonObject busy = refusal(QStringLiteral("上一个文件块仍在接收中，请等它完成后再试！"));

// Calls until the answer is not "busy": the server may still be finishing with an earlier
// request of this client whose answer came already or whose connection broke off.
QJsonObject callWhenIdle(quint16 port, const QByteArray &request, const QHostAddress &from = QHostAddress::LocalHost)
{
    QJsonObject answer;
    static_cast<void>(QTest::qWaitFor([&] {
        answer = call(port, request, from);
        return answer != busy;
    }));
    return answer;
}
const QJsonObject begun { { QStringLiteral("ok"), true },
    { QStringLiteral("msg"), QStringLiteral("大文件传输初始化成功！") } };

// A call of the resumable upload of the file name of size bytes, as the page sends it.
QByteArray resumable(const QByteArray &name, qint64 size, const QList<FormField> &fields)
{
    return multipartRequest("/hugefile",
        QList<FormField> {
            { "action", "show", {} }, { "filename", name, {} }, { "filesize", QByteArray::number(size), {} } }
            + fields);
}

QJsonObject held(qint64 received, int next)
{
    return { { QStringLiteral("ok"), true }, { QStringLiteral("received"), received },
        { QStringLiteral("next"), next } };
}

} // namespace

class TestHugeFileUpload : public QObject
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
        ++round;
        downloads = dir.filePath(QStringLiteral("round%1").arg(round));
        QVERIFY(QDir().mkpath(downloads));
        Settings::setDownloadPath(downloads);
        server = new WebServer(this);
        port = server->serverPort();
        QVERIFY(port != 0);
        receiveKey = server->startReceiving();
        testsupport::useKeyOf(uploadPageLink(QString(), port, receiveKey));
    }

    // No client keeps an upload into the next case: the server's uploads go with it.
    void cleanup()
    {
        delete server;
        server = nullptr;
    }

    // Old links to the chunked page show the one upload page.
    void getReturnsTheUploadPage()
    {
        const auto reply = exchange(port, getRequest("/hugefile"));
        QVERIFY(reply->wait());
        QCOMPARE(reply->status, 200);
        QVERIFY(reply->body.contains("data-chunked-above="));
        QVERIFY(reply->body.contains("data-chunk-size=\"8388608\""));
    }

    // A resumable upload broken off after half of it (within a chunk, or between two) is
    // continued from what the computer says it holds, also from another address (a phone that
    // changed networks), and gives the exact bytes; until then finish refuses and keeps it.
    void interruptedUploadContinuesFromWhatIsHeld_data()
    {
        QTest::addColumn<bool>("cutWithinAChunk");
        QTest::addColumn<QString>("continuedFrom");
        QTest::addRow("cut within a chunk") << true << QStringLiteral("127.0.0.1");
        QTest::addRow("cut between chunks") << false << QStringLiteral("127.0.0.1");
        QTest::addRow("continued from another address") << true << QStringLiteral("127.0.0.2");
    }

    void interruptedUploadContinuesFromWhatIsHeld()
    {
        QFETCH(bool, cutWithinAChunk);
        QFETCH(QString, continuedFrom);
        constexpr int chunkSize = 100000;
        const QByteArray content = randomBytes(6 * chunkSize - 77, 11);
        const qint64 size = content.size();
        const auto chunk = [&](int index) {
            return resumable("clip.mp4", size,
                { { "index", QByteArray::number(index), {} },
                    { "data", content.mid(index * chunkSize, chunkSize), "b" } });
        };
        QCOMPARE(call(port, resumable("clip.mp4", size, { { "status", "status", {} } })), held(0, 0));
        QCOMPARE(call(port, resumable("clip.mp4", size, { { "begin", "begin", {} } })), begun);
        for (int index = 0; index < 3; ++index)
            QCOMPARE(call(port, chunk(index)), okOnly);
        if (cutWithinAChunk) {
            const QByteArray cut = chunk(3);
            const auto broken = sendHalf(cut, content.mid(3 * chunkSize, chunkSize), 3 * chunkSize);
            QVERIFY(broken);
            broken->abort();
        }

        const QHostAddress from(continuedFrom);
        const QByteArray status = resumable("clip.mp4", size, { { "status", "status", {} } });
        QCOMPARE(callWhenIdle(port, status, from), held(3 * chunkSize, 3));
        const QJsonObject early = call(port, resumable("clip.mp4", size, { { "finish", "finish", {} } }), from);
        QCOMPARE(early.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(early.value(QStringLiteral("msg")).toString(),
            QStringLiteral("文件尚未传完：已收到 300000 字节，共 %1 字节！").arg(size));
        for (int index = 3; index < 6; ++index)
            QCOMPARE(call(port, chunk(index), from), okOnly);
        QCOMPARE(call(port, status, from), held(size, 6));
        const QJsonObject saved = call(port, resumable("clip.mp4", size, { { "finish", "finish", {} } }), from);
        QCOMPARE(saved.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录/clip.mp4！"));
        QVERIFY(readFile(downloads + QStringLiteral("/clip.mp4")) == content);
        QCOMPARE(entries(), QStringList { QStringLiteral("clip.mp4") });
        QCOMPARE(call(port, status, from), held(0, 0));
    }

    // Resumable uploads are told apart by name and size: one client runs several side by side,
    // beside the one upload of its address; none takes more than its size, and an unusable name
    // or size is refused.
    void resumableUploadsRunSideBySide()
    {
        const QByteArray a = randomBytes(1500, 21);
        const QByteArray b = randomBytes(1501, 22);
        for (const auto &[name, data] : { std::pair { "same.bin", a }, std::pair { "same.bin", b } })
            QCOMPARE(call(port, resumable(name, data.size(), { { "begin", "begin", {} } })), begun);
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, resumable("same.bin", b.size(), { { "index", "0", {} }, { "data", b, "b" } })), okOnly);
        QCOMPARE(call(port, chunkRequest("old.bin", "0", "old protocol")), okOnly);
        QCOMPARE(call(port, resumable("same.bin", a.size(), { { "index", "0", {} }, { "data", a + "x", "b" } })),
            refusal(QStringLiteral("保存块数据失败，文件超出了上传大小限制！")));
        QCOMPARE(call(port, resumable("same.bin", a.size(), { { "index", "0", {} }, { "data", a, "b" } })), okOnly);
        QCOMPARE(call(port, resumable("same.bin", a.size(), { { "finish", "finish", {} } })).value("ok"), true);
        QCOMPARE(call(port, resumable("same.bin", b.size(), { { "finish", "finish", {} } })).value("ok"), true);
        QCOMPARE(call(port, finishRequest("old.bin")).value("ok"), true);
        QVERIFY(readFile(downloads + QStringLiteral("/same.bin")) == a);
        QVERIFY(readFile(downloads + QStringLiteral("/same (1).bin")) == b);
        QCOMPARE(readFile(downloads + QStringLiteral("/old.bin")), QByteArray("old protocol"));
        const QJsonObject unusable = refusal(QStringLiteral("文件名或文件大小无效！"));
        QCOMPARE(call(port, resumable("..", 5, { { "status", "status", {} } })), unusable);
        QCOMPARE(call(port, resumable("x", -5, { { "begin", "begin", {} } })), unusable);
    }

    // A resumable upload is kept until its receive session ends, then removed.
    void endedSessionRemovesResumableUploads()
    {
        const QByteArray request = resumable("kept.bin", 10, { { "index", "0", {} }, { "data", "12345", "b" } });
        QCOMPARE(call(port, resumable("kept.bin", 10, { { "begin", "begin", {} } })), begun);
        QCOMPARE(call(port, request), okOnly);
        QVERIFY(onlyPartialFiles(1) && entries().size() == 1);
        server->endReceiving(receiveKey);
        QTRY_VERIFY(entries().isEmpty());
    }

    void chunksJoinToTheExactConcatenation_data()
    {
        QTest::addColumn<int>("form");
        QTest::addRow("fields before the data") << int(FieldsFirst);
        QTest::addRow("data before the fields") << int(DataFirst);
        QTest::addRow("data as the body") << int(AsBody);
    }

    void chunksJoinToTheExactConcatenation()
    {
        QFETCH(int, form);
        QSignalSpy capture(server, &WebServer::folderOpenRequested);
        const QList<QByteArray> chunks { randomBytes(300000, 1), randomBytes(1, 2), QByteArray("\r\n--\r\n\r\n"),
            randomBytes(123457, 3) };
        QCOMPARE(call(port, beginRequest()), begun);
        for (int i = 0; i < chunks.size(); ++i)
            QCOMPARE(call(port, chunkRequest("movie.mkv", QByteArray::number(i), chunks.at(i), form)), okOnly);
        // While it runs, the upload is at most one hidden partial file, not one file per chunk.
        QVERIFY(onlyPartialFiles(1));

        const QJsonObject answer = call(port, finishRequest("movie.mkv"));
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录/movie.mkv！"));
        QVERIFY(readFile(downloads + QStringLiteral("/movie.mkv")) == chunks.join());
        QCOMPARE(entries(), QStringList { QStringLiteral("movie.mkv") });
        // Readable like the user's other files, not private like the partial file was.
        QVERIFY(QFileInfo(downloads + QStringLiteral("/movie.mkv")).permissions() & QFileDevice::ReadOther);
        QTRY_COMPARE(capture.count(), 1);
        QCOMPARE(capture.at(0).at(0).toString(), downloads);
    }

    void emptyUploadGivesAnEmptyFile()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, finishRequest("nothing.txt")).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(entries(), QStringList { QStringLiteral("nothing.txt") });
        QCOMPARE(QFileInfo(downloads + QStringLiteral("/nothing.txt")).size(), 0);
    }

    void chunkOutOfSequenceIsRefused_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("dataFirst");
        for (const int dataFirst : { FieldsFirst, DataFirst, AsBody }) {
            const char *order = dataFirst == AsBody ? "as the body" : dataFirst ? "data first" : "fields first";
            QTest::addRow("skips one, %s", order)
                << QByteArray("2") << QStringLiteral("文件块序号错误：收到2，应为1！") << dataFirst;
            QTest::addRow("repeats, %s", order)
                << QByteArray("0") << QStringLiteral("文件块序号错误：收到0，应为1！") << dataFirst;
            QTest::addRow("not a number, %s", order)
                << QByteArray("one") << QStringLiteral("文件块序号错误：收到one，应为1！") << dataFirst;
            QTest::addRow("negative, %s", order)
                << QByteArray("-1") << QStringLiteral("文件块序号错误：收到-1，应为1！") << dataFirst;
            QTest::addRow("missing, %s", order)
                << QByteArray() << QStringLiteral("文件块序号错误：收到，应为1！") << dataFirst;
        }
    }

    void chunkOutOfSequenceIsRefused()
    {
        QFETCH(QByteArray, index);
        QFETCH(QString, message);
        QFETCH(int, dataFirst);
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("f.bin", "0", "first")), okOnly);
        const QJsonObject refused = call(port, chunkRequest("f.bin", index, "WRONG", dataFirst));
        QCOMPARE(refused.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(refused.value(QStringLiteral("msg")).toString(), message);
        // Nothing of the refused chunk was stored; the upload goes on from where it was.
        QCOMPARE(call(port, chunkRequest("f.bin", "1", "second")), okOnly);
        QCOMPARE(call(port, finishRequest("f.bin")).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(readFile(downloads + QStringLiteral("/f.bin")), QByteArray("firstsecond"));
    }

    void callsWithoutABegunUploadAreRefused()
    {
        const QJsonObject chunk = call(port, chunkRequest("f.bin", "0", "x"));
        QCOMPARE(chunk.value(QStringLiteral("ok")).toBool(), false);
        QCOMPARE(chunk.value(QStringLiteral("msg")).toString(),
            QStringLiteral("没有正在进行的大文件传输，请重新开始上传！"));
        const QJsonObject finish = call(port, finishRequest("f.bin"));
        QCOMPARE(finish.value(QStringLiteral("ok")).toBool(), false);
        QVERIFY(entries().isEmpty());
    }

    void chunkWithoutDataIsRefused()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        const QJsonObject answer = call(port,
            multipartRequest("/hugefile", { { "action", "show", {} }, { "filename", "f", {} }, { "index", "0", {} } }));
        QCOMPARE(answer,
            (QJsonObject {
                { QStringLiteral("ok"), false }, { QStringLiteral("msg"), QStringLiteral("读取上传的文件失败！") } }));
    }

    void terminateRemovesThePartialFile()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("f.bin", "0", randomBytes(5000, 4))), okOnly);
        QVERIFY(onlyPartialFiles(1));
        const QJsonObject answer = call(port, finishRequest("f.bin", "terminate"));
        QCOMPARE(answer,
            (QJsonObject {
                { QStringLiteral("ok"), true }, { QStringLiteral("msg"), QStringLiteral("删除失败的任务成功！") } }));
        QVERIFY(entries().isEmpty());
        // Terminating again, with nothing in progress, is fine too.
        QCOMPARE(call(port, finishRequest("f.bin", "terminate")).value(QStringLiteral("ok")).toBool(), true);
        // And a chunk after it belongs to no upload.
        QCOMPARE(call(port, chunkRequest("f.bin", "1", "x")).value(QStringLiteral("ok")).toBool(), false);
        QVERIFY(entries().isEmpty());
    }

    void newBeginDiscardsThePreviousUpload()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("old.bin", "0", "old data")), okOnly);
        QCOMPARE(call(port, beginRequest()), begun);
        QVERIFY(onlyPartialFiles(1));
        QCOMPARE(call(port, chunkRequest("new.bin", "0", "new data")), okOnly);
        QCOMPARE(call(port, finishRequest("new.bin")).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(entries(), QStringList { QStringLiteral("new.bin") });
        QCOMPARE(readFile(downloads + QStringLiteral("/new.bin")), QByteArray("new data"));
    }

    void finishNeverOverwritesAndStaysInTheFolder_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("saved");
        QTest::addRow("existing name") << QByteArray("taken.iso") << QStringLiteral("taken (1).iso");
        QTest::addRow("climbing name") << QByteArray("../../escape.iso") << QStringLiteral("escape.iso");
        QTest::addRow("chunk-like name of a user file") << QByteArray("taken.iso0") << QStringLiteral("taken (1).iso0");
    }

    void finishNeverOverwritesAndStaysInTheFolder()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, saved);
        for (const QString &mine : { QStringLiteral("taken.iso"), QStringLiteral("taken.iso0") }) {
            QFile file(downloads + QLatin1Char('/') + mine);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("mine");
        }
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest(name, "0", "uploaded")), okOnly);
        const QJsonObject answer = call(port, finishRequest(name));
        QCOMPARE(
            answer.value(QStringLiteral("msg")).toString(), QStringLiteral("文件已保存在下载目录/%1！").arg(saved));
        QCOMPARE(readFile(downloads + QLatin1Char('/') + saved), QByteArray("uploaded"));
        QCOMPARE(readFile(downloads + QStringLiteral("/taken.iso")), QByteArray("mine"));
        QCOMPARE(readFile(downloads + QStringLiteral("/taken.iso0")), QByteArray("mine"));
        QCOMPARE(entries().size(), 3);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 0);
    }

    void invalidFinishNameDiscardsTheUpload()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("x", "0", "data")), okOnly);
        const QJsonObject answer = call(port, finishRequest(".."));
        QCOMPARE(answer.value(QStringLiteral("ok")).toBool(), false);
        QVERIFY(entries().isEmpty());
    }

    void twoClientsUploadAtTheSameTime()
    {
        const QHostAddress first(QStringLiteral("127.0.0.2"));
        const QHostAddress second(QStringLiteral("127.0.0.3"));
        QList<QByteArray> firstChunks;
        QList<QByteArray> secondChunks;
        for (int i = 0; i < 4; ++i) {
            firstChunks << randomBytes(200000 + i, 10 + i);
            secondChunks << randomBytes(150000 + i, 20 + i);
        }
        {
            HttpExchange a(port, beginRequest(), first);
            HttpExchange b(port, beginRequest(), second);
            QCOMPARE(answerOf(a), begun);
            QCOMPARE(answerOf(b), begun);
        }
        for (int i = 0; i < 4; ++i) {
            // Both chunks are in flight together.
            HttpExchange a(port, chunkRequest("same.bin", QByteArray::number(i), firstChunks.at(i)), first);
            HttpExchange b(port, chunkRequest("same.bin", QByteArray::number(i), secondChunks.at(i)), second);
            QCOMPARE(answerOf(a), okOnly);
            QCOMPARE(answerOf(b), okOnly);
        }
        QVERIFY(onlyPartialFiles(2));
        HttpExchange a(port, finishRequest("same.bin"), first);
        HttpExchange b(port, finishRequest("same.bin"), second);
        const QString savedA = answerOf(a).value(QStringLiteral("msg")).toString();
        const QString savedB = answerOf(b).value(QStringLiteral("msg")).toString();
        const QString nameA = savedA.mid(savedA.lastIndexOf(QLatin1Char('/')) + 1).chopped(1);
        const QString nameB = savedB.mid(savedB.lastIndexOf(QLatin1Char('/')) + 1).chopped(1);
        QCOMPARE(QSet<QString>({ nameA, nameB }),
            QSet<QString>({ QStringLiteral("same.bin"), QStringLiteral("same (1).bin") }));
        QVERIFY(readFile(downloads + QLatin1Char('/') + nameA) == firstChunks.join());
        QVERIFY(readFile(downloads + QLatin1Char('/') + nameB) == secondChunks.join());
        QCOMPARE(entries().size(), 2);
    }

    void clientsAreKeyedByTheirFullAddress_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::addRow("IPv4 and its mapped form") << "127.0.0.1"
                                                  << "::ffff:127.0.0.1" << true;
        QTest::addRow("two IPv4 hosts") << "192.168.1.2"
                                        << "192.168.1.3" << false;
        QTest::addRow("two IPv6 hosts") << "2001:db8::1"
                                        << "2001:db8::2" << false;
        QTest::addRow("IPv6 host and IPv4 0.0.0.0") << "2001:db8::1"
                                                    << "0.0.0.0" << false;
        QTest::addRow("same link-local address, other interface") << "fe80::1%1"
                                                                  << "fe80::1%2" << false;
        QTest::addRow("IPv6 written twice") << "2001:db8:0:0::1"
                                            << "2001:db8::1" << true;
    }

    void clientsAreKeyedByTheirFullAddress()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        QCOMPARE(ChunkedUploadMap::key(QHostAddress(first)) == ChunkedUploadMap::key(QHostAddress(second)), same);
    }

    void serverDestructionRemovesUnfinishedUploads()
    {
        auto other = std::make_unique<WebServer>();
        const quint16 otherPort = other->serverPort();
        QVERIFY(otherPort != 0);
        testsupport::useKeyOf(uploadPageLink(QString(), otherPort, other->startReceiving()));
        QCOMPARE(call(otherPort, beginRequest()), begun);
        QCOMPARE(call(otherPort, chunkRequest("left.bin", "0", "abandoned")), okOnly);
        QVERIFY(onlyPartialFiles(1));
        other.reset();
        QVERIFY(entries().isEmpty());
    }

    // A chunk whose connection breaks off midway leaves nothing of itself in the upload: the same
    // chunk sent again gives the exact file.
    void cutOffChunkStoresNothing_data()
    {
        QTest::addColumn<int>("form");
        QTest::addRow("multipart") << int(FieldsFirst);
        QTest::addRow("as the body") << int(AsBody);
    }

    void cutOffChunkStoresNothing()
    {
        QFETCH(int, form);
        const QByteArray first = randomBytes(100000, 5);
        const QByteArray second = randomBytes(2000000, 6);
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("c.bin", "0", first)), okOnly);
        const QByteArray request = chunkRequest("c.bin", "1", second, form);
        {
            const auto cut = sendHalf(request, second, first.size());
            QVERIFY(cut);
            cut->abort();
        }
        // The server notices the break in its own time; until then the chunk counts as arriving.
        QCOMPARE(callWhenIdle(port, request), okOnly);
        QCOMPARE(call(port, finishRequest("c.bin")).value(QStringLiteral("ok")).toBool(), true);
        const QByteArray joined = readFile(downloads + QStringLiteral("/c.bin"));
        QCOMPARE(joined.size(), first.size() + second.size());
        QVERIFY(joined == first + second);
    }

    // While a chunk arrives, its upload is not pulled away from under it: terminate and a new
    // begin drop the upload, and the chunk is then told so; finish waits for it.
    void terminateWhileAChunkArrives()
    {
        const QByteArray data = randomBytes(2000000, 7);
        QCOMPARE(call(port, beginRequest()), begun);
        const QByteArray request = chunkRequest("t.bin", "0", data);
        const auto arriving = sendHalf(request, data);
        QVERIFY(arriving);
        QCOMPARE(call(port, finishRequest("t.bin", "terminate")).value(QStringLiteral("ok")).toBool(), true);
        arriving->send(request.mid(middleOf(request, data)));
        QCOMPARE(answerOf(*arriving), noUpload);
        QTRY_VERIFY(entries().isEmpty() && partialBytes() == 0);
        QCOMPARE(call(port, finishRequest("t.bin")), noUpload);
    }

    void newBeginWhileAChunkArrives()
    {
        const QByteArray data = randomBytes(2000000, 8);
        QCOMPARE(call(port, beginRequest()), begun);
        const QByteArray request = chunkRequest("old.bin", "0", data);
        const auto arriving = sendHalf(request, data);
        QVERIFY(arriving);
        QCOMPARE(call(port, beginRequest()), begun);
        arriving->send(request.mid(middleOf(request, data)));
        QCOMPARE(answerOf(*arriving), noUpload);
        QCOMPARE(call(port, chunkRequest("new.bin", "0", "new data")), okOnly);
        QCOMPARE(call(port, finishRequest("new.bin")).value(QStringLiteral("ok")).toBool(), true);
        QTRY_COMPARE(entries(), QStringList { QStringLiteral("new.bin") });
        QCOMPARE(readFile(downloads + QStringLiteral("/new.bin")), QByteArray("new data"));
    }

    void finishWhileAChunkArrivesIsRefused()
    {
        const QByteArray data = randomBytes(2000000, 9);
        QCOMPARE(call(port, beginRequest()), begun);
        const QByteArray request = chunkRequest("f.bin", "0", data);
        const auto arriving = sendHalf(request, data);
        QVERIFY(arriving);
        QCOMPARE(call(port, finishRequest("f.bin")), busy);
        arriving->send(request.mid(middleOf(request, data)));
        QCOMPARE(answerOf(*arriving), okOnly);
        QCOMPARE(callWhenIdle(port, finishRequest("f.bin")).value(QStringLiteral("ok")).toBool(), true);
        QVERIFY(readFile(downloads + QStringLiteral("/f.bin")) == data);
    }

    // A chunk that cannot be written whole as it arrives (here it would pass the process's file
    // size limit, as on a full disk) is answered as such, leaves the partial file as it was and
    // can be sent again.
    void failedWriteOfAnArrivingChunkIsAnswered_data()
    {
        QTest::addColumn<int>("form");
        QTest::addRow("multipart") << int(FieldsFirst);
        QTest::addRow("as the body") << int(AsBody);
    }

    void failedWriteOfAnArrivingChunkIsAnswered()
    {
        QFETCH(int, form);
        const QByteArray first = randomBytes(100000, 1);
        const QByteArray second = randomBytes(300000, 2);
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("w.bin", "0", first)), okOnly);

        auto limit = std::make_unique<testsupport::FileSizeLimit>(250000);
        QVERIFY(limit->isSet());
        const QJsonObject answer = call(port, chunkRequest("w.bin", "1", second, form));
        limit.reset();
        QCOMPARE(answer, refusal(QStringLiteral("保存块数据失败，写入文件出错，请检查磁盘空间！")));

        QCOMPARE(callWhenIdle(port, chunkRequest("w.bin", "1", second, form)), okOnly);
        QCOMPARE(call(port, finishRequest("w.bin")).value(QStringLiteral("ok")).toBool(), true);
        const QByteArray joined = readFile(downloads + QStringLiteral("/w.bin"));
        QCOMPARE(joined.size(), first.size() + second.size());
        QVERIFY(joined == first + second);
    }

    // Bytes behind a chunk's declared length are no part of it: they are the next request's.
    void bytesBeyondADeclaredBodyAreNotStored()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        const QByteArray data = randomBytes(500000, 9);
        HttpExchange reply(port, chunkRequest("b.bin", "0", data, AsBody) + "NOT PART OF IT\r\n\r\n");
        QCOMPARE(answerOf(reply), okOnly);
        QCOMPARE(callWhenIdle(port, finishRequest("b.bin")).value(QStringLiteral("ok")).toBool(), true);
        QVERIFY(readFile(downloads + QStringLiteral("/b.bin")) == data);
    }

    // What a request to the chunked upload asks for, from its parameters and the session's key.
    void chunkedRequestIsDecoded_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("uploadKey");
        QTest::addColumn<qint64>("announcedSize");
        using A = ChunkedUploadRequest::Action;
        const QString key = QStringLiteral("K/10/a.bin");
        QTest::addRow("the page") << QByteArray("filename=a.bin&filesize=10") << int(A::Page) << QString()
                                  << qint64(-1);
        QTest::addRow("begin") << QByteArray("begin=begin&filename=a.bin&filesize=10") << int(A::Begin) << key
                               << qint64(10);
        QTest::addRow("begin before finish")
            << QByteArray("finish=finish&begin=begin&filename=a.bin&filesize=10") << int(A::Begin) << key << qint64(10);
        QTest::addRow("status") << QByteArray("status=status&filename=a.bin&filesize=10") << int(A::Status) << key
                                << qint64(10);
        QTest::addRow("finish") << QByteArray("finish=finish&filename=a.bin&filesize=10") << int(A::Finish) << key
                                << qint64(10);
        QTest::addRow("terminate") << QByteArray("finish=terminate&filename=a.bin&filesize=10") << int(A::Terminate)
                                   << key << qint64(10);
        QTest::addRow("chunk") << QByteArray("index=3&filename=a.bin&filesize=10") << int(A::Chunk) << key
                               << qint64(10);
        QTest::addRow("climbing name") << QByteArray("index=0&filename=..%2F..%2Fa.bin&filesize=10") << int(A::Chunk)
                                       << key << qint64(10);
        QTest::addRow("own name") << QByteArray("index=0&filename=.orvex-a&filesize=10") << int(A::Chunk) << QString()
                                  << qint64(10);
        QTest::addRow("negative size") << QByteArray("index=0&filename=a.bin&filesize=-10") << int(A::Chunk)
                                       << QString() << qint64(-2);
        QTest::addRow("size not a number")
            << QByteArray("index=0&filename=a.bin&filesize=ten") << int(A::Chunk) << QString() << qint64(-2);
    }

    void chunkedRequestIsDecoded()
    {
        QFETCH(QByteArray, query);
        QFETCH(int, action);
        QFETCH(QString, uploadKey);
        QFETCH(qint64, announcedSize);
        const QByteArray target
            = "/hugefile?" + (action == int(ChunkedUploadRequest::Action::Page) ? query : "action=show&" + query);
        QSettings settings(dir.path() + QStringLiteral("/request.ini"), QSettings::IniFormat);
        tarsel::HttpRequest request(&settings);
        QBuffer bytes;
        bytes.setData("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        while (bytes.bytesAvailable() > 0 && request.status() != tarsel::HttpRequest::Complete)
            request.readFromDevice(&bytes);
        QCOMPARE(request.status(), tarsel::HttpRequest::Complete);

        const ChunkedUploadRequest call = ChunkedUploadRequest::decode(request, "K");
        QCOMPARE(int(call.action), action);
        QCOMPARE(call.uploadKey, uploadKey);
        QCOMPARE(call.announcedSize, announcedSize);
    }

    // File to file the kernel copies; a target it cannot write at an offset (opened for
    // appending) or a device that is no file goes through user space. Either way the bytes from
    // the source's position land at the target's position, behind what is still buffered there,
    // and both positions move past them.
    void copyDataMovesTheBytesFromPositionToPosition_data()
    {
        QTest::addColumn<bool>("sourceIsFile");
        QTest::addColumn<bool>("targetIsFile");
        QTest::addColumn<bool>("targetAppends");
        QTest::addRow("file to file") << true << true << false;
        QTest::addRow("file to appending file") << true << true << true;
        QTest::addRow("buffer to file") << false << true << false;
        QTest::addRow("file to buffer") << true << false << false;
    }

    void copyDataMovesTheBytesFromPositionToPosition()
    {
        QFETCH(bool, sourceIsFile);
        QFETCH(bool, targetIsFile);
        QFETCH(bool, targetAppends);
        // More than one block of the user-space copy.
        const QByteArray data = randomBytes(3 * 1024 * 1024 + 5, 7);
        const QByteArray head = "already there";
        const int skipped = 100;

        QFile sourceFile(QDir(downloads).filePath(QStringLiteral("source.bin")));
        QBuffer sourceBuffer;
        QIODevice *source = &sourceBuffer;
        if (sourceIsFile) {
            QVERIFY(sourceFile.open(QIODevice::WriteOnly));
            QCOMPARE(sourceFile.write(data), qint64(data.size()));
            sourceFile.close();
            QVERIFY(sourceFile.open(QIODevice::ReadOnly));
            source = &sourceFile;
        } else {
            sourceBuffer.setData(data);
            QVERIFY(sourceBuffer.open(QIODevice::ReadOnly));
        }
        // A buffered read: the file's descriptor is further on than its position.
        QCOMPARE(source->read(skipped), data.left(skipped));

        const QString targetPath = QDir(downloads).filePath(QStringLiteral("target.bin"));
        QFile targetFile(targetPath);
        QBuffer targetBuffer;
        QIODevice *target = &targetBuffer;
        if (targetIsFile) {
            if (targetAppends) {
                QVERIFY(targetFile.open(QIODevice::WriteOnly));
                targetFile.close();
            }
            QVERIFY(targetFile.open(targetAppends ? QIODevice::Append : QIODevice::WriteOnly));
            target = &targetFile;
        } else {
            QVERIFY(targetBuffer.open(QIODevice::ReadWrite));
        }
        QCOMPARE(target->write(head), qint64(head.size()));

        QVERIFY(upload::copyData(*source, *target));
        QVERIFY(source->atEnd());
        QCOMPARE(source->pos(), qint64(data.size()));
        QCOMPARE(target->pos(), qint64(head.size() + data.size() - skipped));
        QCOMPARE(target->write("!"), qint64(1));

        const QByteArray expected = head + data.mid(skipped) + "!";
        QByteArray written;
        if (targetIsFile) {
            targetFile.close();
            written = readFile(targetPath);
        } else {
            written = targetBuffer.data();
        }
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected);
    }

    // A chunk that cannot be written whole (here it would pass the process's file size limit,
    // as on a full disk) leaves the partial file as it was, and the same chunk can come again.
    void failedAppendIsCutBackAndCanBeSentAgain()
    {
        const QByteArray first = randomBytes(100000, 1);
        const QByteArray second = randomBytes(300000, 2);
        QFile firstFile(QDir(downloads).filePath(QStringLiteral("first.chunk")));
        QFile secondFile(QDir(downloads).filePath(QStringLiteral("second.chunk")));
        for (const auto &[file, bytes] : { std::make_pair(&firstFile, first), std::make_pair(&secondFile, second) }) {
            QVERIFY(file->open(QIODevice::ReadWrite));
            QCOMPARE(file->write(bytes), qint64(bytes.size()));
            QVERIFY(file->seek(0));
        }

        ChunkedUpload host;
        QVERIFY(host.open(downloads));
        QVERIFY(host.append(0, QStringLiteral("joined.bin"), firstFile));

        auto limit = std::make_unique<testsupport::FileSizeLimit>(250000);
        QVERIFY(limit->isSet());
        const bool appended = host.append(1, QStringLiteral("joined.bin"), secondFile);
        limit.reset();
        QVERIFY(!appended);
        QCOMPARE(host.nextIndex(), 1u);

        QVERIFY(secondFile.seek(0));
        QVERIFY(host.append(1, QStringLiteral("joined.bin"), secondFile));
        const QString written = host.finish(downloads, QStringLiteral("joined.bin"));
        QCOMPARE(written, QDir(downloads).filePath(QStringLiteral("joined.bin")));
        const QByteArray joined = readFile(written);
        QCOMPARE(joined.size(), first.size() + second.size());
        QVERIFY(joined == first + second);
    }

    // The space an unfinished upload takes can be seen: a hidden file named after the upload,
    // which gets the final name only when the upload is finished.
    void partialFileIsNamedAfterTheUpload()
    {
        const QHostAddress other(QStringLiteral("127.0.0.2"));
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(entries(), QStringList { QStringLiteral(".orvex-upload.orvex-part") });
        QCOMPARE(call(port, chunkRequest("../movie.mkv", "0", randomBytes(3000, 30))), okOnly);
        QCOMPARE(call(port, beginRequest(), other), begun);
        QCOMPARE(call(port, chunkRequest("movie.mkv", "0", "other"), other), okOnly);
        QCOMPARE(entries(),
            (QStringList { QStringLiteral(".movie.mkv (1).orvex-part"), QStringLiteral(".movie.mkv.orvex-part") }));
        QCOMPARE(QFileInfo(downloads + QStringLiteral("/.movie.mkv.orvex-part")).size(), 3000);
        QCOMPARE(call(port, chunkRequest("movie.mkv", "1", randomBytes(1000, 31))), okOnly);
        QCOMPARE(call(port, finishRequest("movie.mkv")).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(entries(), (QStringList { QStringLiteral(".movie.mkv (1).orvex-part"), QStringLiteral("movie.mkv") }));
        QVERIFY(readFile(downloads + QStringLiteral("/movie.mkv")) == randomBytes(3000, 30) + randomBytes(1000, 31));
    }

    // At start a server removes the partial files that an earlier run recorded and did not
    // finish. Those of uploads in progress stay, and so do the user's files that only look like
    // partial files, and a recorded name that holds another file by now.
    void leftoverPartialFilesAreRemovedAtStart()
    {
        QCOMPARE(call(port, beginRequest()), begun);
        QCOMPARE(call(port, chunkRequest("live.bin", "0", "live data")), okOnly);
        const QStringList names { QStringLiteral(".crashed.bin.orvex-part"), QStringLiteral(".diary.orvex-part"),
            QStringLiteral(".orvex-upload (3).orvex-part"), QStringLiteral(".replaced.orvex-part") };
        for (const QString &name : names)
            QVERIFY(QFile(downloads + QLatin1Char('/') + name).open(QIODevice::WriteOnly));
        QFile registry(PartialFileRegistry::registryPath());
        QDir().mkpath(QFileInfo(registry.fileName()).absolutePath());
        QVERIFY(registry.open(QIODevice::ReadWrite));
        QJsonObject records = QJsonDocument::fromJson(registry.readAll()).object();
        // The process id may come back after a crash: it is this one's, as a run before had it.
        for (const QString &name : { names.at(0), names.at(3) }) {
            const QString path = QFileInfo(downloads).canonicalFilePath() + QLatin1Char('/') + name;
            struct stat status
            {
            };
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
            const qint64 inode = qint64(status.st_ino) + (name == names.at(3) ? 1 : 0);
            records.insert(path,
                QJsonObject { { QStringLiteral("inode"), inode },
                    { QStringLiteral("pid"), QCoreApplication::applicationPid() } });
        }
        QVERIFY(registry.resize(0));
        registry.write(QJsonDocument(records).toJson());
        registry.close();

        const auto next = std::make_unique<WebServer>();
        QCOMPARE(
            entries(), (QStringList { names.at(1), QStringLiteral(".live.bin.orvex-part"), names.at(2), names.at(3) }));
        QCOMPARE(call(port, finishRequest("live.bin")).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(readFile(downloads + QStringLiteral("/live.bin")), QByteArray("live data"));
    }

    // However many addresses the clients have, only so many uploads are in progress at once;
    // an upload that ends makes room for another.
    void beginsBeyondTheUploadLimitAreRefused()
    {
        auto client = [](int i) { return QHostAddress(QStringLiteral("127.0.0.%1").arg(i + 2)); };
        for (int i = 0; i < maxUploadsInProgress; ++i)
            QCOMPARE(call(port, beginRequest(), client(i)), begun);
        const QJsonObject refused = refusal(QStringLiteral("同时进行的大文件传输过多，请稍后再试！"));
        QCOMPARE(call(port, beginRequest(), client(maxUploadsInProgress)), refused);
        QCOMPARE(entries().size(), maxUploadsInProgress);
        // A client with an upload may begin anew.
        QCOMPARE(call(port, beginRequest(), client(0)), begun);
        QCOMPARE(call(port, finishRequest("x", "terminate"), client(1)).value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(call(port, beginRequest(), client(maxUploadsInProgress)), begun);
    }

    // An upload that gets no data for the time limit is dropped with its partial file; one that
    // gets data lives on.
    void stalledUploadIsDropped()
    {
        ChunkedUploadMap map;
        const QString key = QStringLiteral("192.0.2.1");
        auto host = std::make_shared<ChunkedUpload>();
        QVERIFY(host->open(downloads));
        const QString partial = host->partialPath();
        QVERIFY(QFile::exists(partial));
        const qint64 start = host->lastActivity();
        map.replace(key, std::move(host));

        QCOMPARE(map.dropStalled(start + stalledUploadTimeoutMs), 0);
        bool busy = false;
        qint64 written = 0;
        {
            ChunkWriter writer(map.claim(key, &busy), 0);
            QCOMPARE(writer.write("data"), qint64(4));
            QVERIFY(writer.commit(QStringLiteral("s.bin")));
            written = writer.host()->lastActivity();
        }
        QVERIFY(written >= start);

        QCOMPARE(map.dropStalled(written + stalledUploadTimeoutMs), 0);
        QCOMPARE(map.dropStalled(written + stalledUploadTimeoutMs + 1), 1);
        QVERIFY(!map.claim(key, &busy));
        QVERIFY(!busy);
        QVERIFY(entries().isEmpty());
    }

    // Past the upload's size limit a chunk is refused whole, written as it arrives or appended
    // from a temporary file, and the upload stays as it was.
    void chunkBeyondTheLimitIsRefused()
    {
        auto host = std::make_shared<ChunkedUpload>(1000);
        QVERIFY(host->open(downloads));
        QVERIFY(host->claim());
        {
            ChunkWriter writer(UploadClaim(host), 0);
            QCOMPARE(writer.write(QByteArray(600, 'a')), qint64(600));
            QVERIFY(writer.commit(QStringLiteral("l.bin")));
        }
        QVERIFY(host->claim());
        {
            ChunkWriter writer(UploadClaim(host), 1);
            QCOMPARE(writer.write(QByteArray(300, 'b')), qint64(300));
            QCOMPARE(writer.write(QByteArray(300, 'c')), qint64(300));
            QVERIFY(!writer.commit(QStringLiteral("l.bin")));
            QVERIFY(writer.tooLarge());
        }
        QCOMPARE(host->size(), qint64(600));
        QBuffer data;
        data.setData(QByteArray(401, 'd'));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QVERIFY(!host->append(1, QStringLiteral("l.bin"), data));
        data.close();
        data.setData(QByteArray(400, 'd'));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QVERIFY(host->append(1, QStringLiteral("l.bin"), data));
        QCOMPARE(host->size(), qint64(1000));
        QCOMPARE(host->nextIndex(), 2u);
    }

private:
    // Sends request up to the middle of data and waits until the server is writing that data
    // behind the stored bytes of the upload; null if it does not.
    std::unique_ptr<HttpExchange> sendHalf(const QByteArray &request, const QByteArray &data, qint64 stored = 0)
    {
        auto exchange = std::make_unique<HttpExchange>(port, request.left(middleOf(request, data)));
        if (!QTest::qWaitFor([&] { return partialBytes() > stored + data.size() / 4; }))
            return nullptr;
        return exchange;
    }

    // What the files this process holds open in the download folder hold, named or not: the
    // partial files of the uploads.
    qint64 partialBytes() const
    {
        qint64 total = 0;
        for (const QFileInfo &descriptor : testsupport::openFilesBelow(downloads))
            total += QFileInfo(descriptor.absoluteFilePath()).size();
        return total;
    }

    // The partial files of uploads in progress are hidden files with their own ending.
    bool onlyPartialFiles(int atMost) const
    {
        const QStringList names = entries();
        for (const QString &name : names) {
            if (!name.startsWith(QLatin1Char('.')) || !name.endsWith(QLatin1String(partialFileSuffix)))
                return false;
        }
        return names.size() <= atMost;
    }

    QStringList entries() const
    {
        return QDir(downloads).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
    WebServer *server = nullptr;
    quint16 port = 0;
    QString receiveKey;
    int round = 0;
    QString downloads;
};

ORVEX_TEST_MAIN(TestHugeFileUpload)
#include "tst_hugefileupload.moc"
