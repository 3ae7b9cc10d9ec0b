#include "core/settings.h"
#include "tests/support/filesizelimit.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/testmain.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/receivercontext.h"
#include "transfer/resumerecord.h"
#include "transfer/sendercontext.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <sys/stat.h>
#include <memory>

namespace {

// What one side of a session reported.
using Kind = TransferFailure::Kind;

// What a session reported, as values.
struct Reports
{
    QList<TransferFailure> failures;
    QList<TransferOffer> offers;
    QList<TransferResult> results;
    QList<int> batches;
    int filesStarted = 0;
    TransferAmount progress;

    void follow(Context *context)
    {
        QObject::connect(context, &Context::transferFailed, [this](const TransferFailure &f) { failures.append(f); });
        QObject::connect(context, &Context::offered, [this](const TransferOffer &offer) { offers.append(offer); });
        QObject::connect(context, &Context::transferFinished, [this](const TransferResult &r) { results.append(r); });
        QObject::connect(context, &Context::fileStarted, [this] { ++filesStarted; });
        QObject::connect(context, &Context::progressed, [this](const TransferAmount &amount) { progress = amount; });
        if (auto *sender = qobject_cast<SenderContext *>(context))
            QObject::connect(sender, &SenderContext::sentInBatches, [this](int count) { batches.append(count); });
    }
    QList<Kind> kinds() const
    {
        QList<Kind> all;
        for (const TransferFailure &failure : failures)
            all.append(failure.kind);
        return all;
    }
    bool done() const { return results.size() == 1 && failures.isEmpty(); }
};

QJsonObject parse(const QByteArray &message)
{
    return QJsonDocument::fromJson(message).object();
}

QJsonArray fileNames(const QJsonArray &files)
{
    QJsonArray names;
    for (const QJsonValue &file : files)
        names.append(file.toObject().value(QStringLiteral("filename")));
    return names;
}

// Sits on the path between a sender and a receiver: passes both keys and every frame through,
// except that it bends one frame from the sender in the way a row asks.
class Relay : public QObject
{
public:
    enum Fault { Drop, Repeat, Swap, Reflect, Truncate, Cut };

    // The sender's first narrowFrames frames have a 16-bit length, the sealed ones after them a
    // 32-bit one ("wide-frames").
    Relay(QTcpSocket *sender, QTcpSocket *receiver, Fault bend, int frameIndex, int narrowFrames)
        : toSender(sender)
        , toReceiver(receiver)
        , fault(bend)
        , target(frameIndex)
        , narrow(narrowFrames)
    {
        connect(toSender, &QTcpSocket::readyRead, this, &Relay::fromSender);
        connect(toReceiver, &QTcpSocket::readyRead, this, [this] { toSender->write(toReceiver->readAll()); });
    }

private:
    void fromSender()
    {
        buffer += toSender->readAll();
        if (!keyPassed && buffer.size() >= 32) {
            toReceiver->write(buffer.left(32));
            buffer.remove(0, 32);
            keyPassed = true;
        }
        while (keyPassed && buffer.size() >= lengthBytes()) {
            int length = 0;
            for (int i = 0; i < lengthBytes(); ++i)
                length = (length << 8) | static_cast<uchar>(buffer.at(i));
            if (buffer.size() < lengthBytes() + length)
                return;
            const QByteArray frame = buffer.left(lengthBytes() + length);
            buffer.remove(0, lengthBytes() + length);
            pass(frame, frames++);
        }
    }

    void pass(const QByteArray &frame, int index)
    {
        if (index != target) {
            toReceiver->write(frame);
            if (index == target + 1 && !held.isEmpty())
                toReceiver->write(held);
            return;
        }
        switch (fault) {
        case Drop:
            break;
        case Repeat:
            toReceiver->write(frame + frame);
            break;
        case Swap:
            held = frame;
            break;
        case Reflect:
            toSender->write(frame);
            break;
        case Truncate: {
            const int length = frame.size() - lengthBytes() - 1;
            QByteArray shorter;
            for (int i = lengthBytes() - 1; i >= 0; --i)
                shorter.append(char(length >> (8 * i)));
            toReceiver->write(shorter + frame.mid(lengthBytes(), length));
            break;
        }
        case Cut:
            toReceiver->flush();
            toSender->abort();
            toReceiver->abort();
            break;
        }
    }

    int lengthBytes() const { return frames < narrow ? 2 : 4; }

    QTcpSocket *toSender;
    QTcpSocket *toReceiver;
    Fault fault;
    int target;
    int narrow;
    int frames = 0;
    bool keyPassed = false;
    QByteArray buffer;
    QByteArray held;
};

} // namespace

class TestSessions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void baseSenderGetsTheBaseExchange_data();
    void baseSenderGetsTheBaseExchange();
    void longListsTravelWhole();
    void pathNoLongerAFileFailsBeforeTheOffer_data();
    void pathNoLongerAFileFailsBeforeTheOffer();
    void longListsGoInBatchesToBaseReceivers();
    void receiptCarriesTheReceiversError();
    void missingReceiptIsAnError_data();
    void missingReceiptIsAnError();
    void resumesWhereTheLinkDropped_data();
    void resumesWhereTheLinkDropped();
    void staleRecordsAreDropped_data();
    void staleRecordsAreDropped();
    void cancelWithABasePeerOnlyCloses_data();
    void cancelWithABasePeerOnlyCloses();
    void bentStreamFailsOnBothSides_data();
    void bentStreamFailsOnBothSides();
    void resumptionTakesOnlyConfirmedBytes_data();
    void resumptionTakesOnlyConfirmedBytes();
    void fullDiskEndsWithItsCause();
    void downloadFolderIsReadOncePerSession();
    void sealedPeerBreakingTheRulesIsCaught_data();
    void sealedPeerBreakingTheRulesIsCaught();
    void wideStreamCutKeepsOnlyWholeFiles_data();
    void wideStreamCutKeepsOnlyWholeFiles();
    void textComesOnlyOnceAccepted_data();
    void textComesOnlyOnceAccepted();
    void hostileTextIsRefused_data();
    void hostileTextIsRefused();

private:
    QString source(const QString &name) const { return sources->filePath(name); }
    bool makeFiles(const QStringList &names, const QList<int> &sizes);
    SenderContext *startSender(QTcpSocket *socket, const QStringList &names);
    ReceiverContext *startReceiver(QTcpSocket *socket);
    // Every file below the download folder, by its path relative to the transfer's folder.
    QMap<QString, QByteArray> received() const;

    std::unique_ptr<QTemporaryDir> sources;
    std::unique_ptr<QTemporaryDir> downloads;
    Reports sent;
    Reports got;
    QVector<FileMetadata> accepted;
};

void TestSessions::cleanup()
{
    // A session left from one row would report into the next row's values.
    qDeleteAll(findChildren<Context *>(QString(), Qt::FindDirectChildrenOnly));
}

void TestSessions::init()
{
    sources = std::make_unique<QTemporaryDir>();
    downloads = std::make_unique<QTemporaryDir>();
    Settings::setDownloadPath(downloads->path());
    sent = {};
    got = {};
    accepted.clear();
}

bool TestSessions::makeFiles(const QStringList &names, const QList<int> &sizes)
{
    for (int i = 0; i < names.size(); ++i) {
        QDir().mkpath(QFileInfo(source(names.at(i))).absolutePath());
        QFile file(source(names.at(i)));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(QByteArray(sizes.at(i % sizes.size()), char('a' + i % 26))) < 0)
            return false;
    }
    return true;
}

SenderContext *TestSessions::startSender(QTcpSocket *socket, const QStringList &names)
{
    QList<QSharedPointer<QFile>> files;
    QList<QPair<QString, QString>> list;
    for (const QString &name : names) {
        files.append(QSharedPointer<QFile>::create(source(name)));
        list.append({ name, QString() });
    }
    auto *sender = new SenderContext(socket, files, list, this);
    sent.follow(sender);
    sender->startHandshake();
    return sender;
}

ReceiverContext *TestSessions::startReceiver(QTcpSocket *socket)
{
    auto *receiver = new ReceiverContext(socket, this);
    got.follow(receiver);
    connect(receiver, &Context::metaDataReady, receiver, [this, receiver](QVector<FileMetadata> files) {
        accepted = files;
        receiver->response(true);
    });
    receiver->startHandshake();
    return receiver;
}

QMap<QString, QByteArray> TestSessions::received() const
{
    QMap<QString, QByteArray> files;
    QDirIterator it(downloads->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        files.insert(it.filePath().section(QLatin1Char('/'), QDir(downloads->path()).absolutePath().count('/') + 2),
            file.readAll());
    }
    return files;
}

void TestSessions::baseSenderGetsTheBaseExchange_data()
{
    QTest::addColumn<QJsonValue>("features");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("lastFrame");
    QTest::addRow("base sender") << QJsonValue(QJsonValue::Undefined) << QByteArray(R"({"response":1})")
                                 << QByteArray();
    QTest::addRow("sender with receipts")
        << QJsonValue(QJsonArray { QStringLiteral("receipt"), QStringLiteral("future") })
        << QByteArray(
               R"({"features":["cancel","checked-resume","identity","list","receipt","sealed","text","wide-frames"],"response":1})")
        << QByteArray(R"({"receipt":1})");
}

void TestSessions::baseSenderGetsTheBaseExchange()
{
    QFETCH(QJsonValue, features);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, lastFrame);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    TransferPeer peer(pair.client);
    QVERIFY(peer.exchangeKeys());
    const QList<int> sizes { 0, 1, 64000, 64001 };
    QJsonArray files;
    for (int i = 0; i < sizes.size(); ++i)
        files.append(QJsonObject { { QStringLiteral("filename"), QStringLiteral("dir/f%1").arg(i) },
            { QStringLiteral("size"), sizes.at(i) } });
    QJsonObject offer { { QStringLiteral("device_name"), QStringLiteral("peer") }, { QStringLiteral("files"), files } };
    if (!features.isUndefined())
        offer.insert(QStringLiteral("features"), features);
    peer.sendMessage(QJsonDocument(offer).toJson(QJsonDocument::Compact));
    QCOMPARE(peer.nextMessage(), answer);
    for (int i = 0; i < sizes.size(); ++i) {
        for (int done = 0; done < sizes.at(i); done += 64000)
            peer.sendMessage(QByteArray(qMin(64000, sizes.at(i) - done), char('a' + i)));
    }
    // Nothing but the receipt, if any, comes before the close.
    QCOMPARE(peer.messagesUntilClosed().join(), lastFrame);
    QCOMPARE(peer.socket->state(), QAbstractSocket::UnconnectedState);
    const QMap<QString, QByteArray> saved = received();
    QCOMPARE(saved.keys(), QStringList({ "dir/f0", "dir/f1", "dir/f2", "dir/f3" }));
    QCOMPARE(saved.value(QStringLiteral("dir/f3")), QByteArray(64001, 'd'));
    QVERIFY(got.done());
    QCOMPARE(got.offers.size(), 1);
    const TransferOffer &made = got.offers.first();
    QCOMPARE(made.files.size(), sizes.size());
    QCOMPARE(made.totalBytes, quint64(128002));
    QCOMPARE(made.deviceName, QStringLiteral("peer"));
    QCOMPARE(made.verificationCode, peer.crypto.verificationCode());
    QCOMPARE(made.heldBytes, quint64(0));
    QCOMPARE(got.progress.doneBytes, quint64(128002));
    QCOMPARE(got.progress.sessionBytes, quint64(128002));
    QCOMPARE(got.progress.totalBytes, quint64(128002));
    QCOMPARE(got.filesStarted, 3);
    QCOMPARE(got.results.first().fileCount, sizes.size());
}

void TestSessions::longListsTravelWhole()
{
    QStringList names;
    for (int i = 0; i < 20000; ++i)
        names.append(
            QStringLiteral("photos/%1/IMG_2026120%2_%3.jpg").arg(i / 1000).arg(i % 7).arg(i, 6, 10, QLatin1Char('0')));
    QVERIFY(makeFiles(names, { 3, 0, 70 }));
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, names);
    QTRY_VERIFY_WITH_TIMEOUT(sent.done(), 600000);
    QCOMPARE(accepted.size(), names.size());
    // In the order chosen, over every frame of the offer.
    QCOMPARE(accepted.first().filename, names.first());
    QCOMPARE(accepted.last().filename, names.last());
    const QMap<QString, QByteArray> files = received();
    QCOMPARE(files.size(), names.size());
    QCOMPARE(files.value(names.at(19998)), QByteArray(3, char('a' + 19998 % 26)));
    QCOMPARE(files.value(names.at(12344)), QByteArray(70, char('a' + 12344 % 26)));
    QVERIFY(got.done());
    QCOMPARE(got.results.first().fileCount, names.size());
}

void TestSessions::pathNoLongerAFileFailsBeforeTheOffer_data()
{
    QTest::addColumn<QString>("becomes");
    QTest::newRow("removed") << QString();
    QTest::newRow("a folder") << QStringLiteral("folder");
    QTest::newRow("a pipe") << QStringLiteral("pipe");
}

void TestSessions::pathNoLongerAFileFailsBeforeTheOffer()
{
    QFETCH(QString, becomes);
    const QStringList names { QStringLiteral("a.txt"), QStringLiteral("b.txt") };
    QVERIFY(makeFiles(names, { 5 }));
    QVERIFY(QFile::remove(source(names.last())));
    if (becomes == QStringLiteral("folder"))
        QVERIFY(QDir().mkdir(source(names.last())));
    else if (becomes == QStringLiteral("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(source(names.last())).constData(), 0600), 0);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, names);
    QTRY_COMPARE(sent.kinds(), QList<Kind> { Kind::ReadError });
    QCOMPARE(sent.failures.first().detail, names.last());
    // The receiver was never asked.
    QVERIFY(got.offers.isEmpty());
    QVERIFY(accepted.isEmpty());
}

void TestSessions::longListsGoInBatchesToBaseReceivers()
{
    QStringList names;
    for (int i = 0; i < 2500; ++i)
        names.append(QStringLiteral("folder/IMG_20261207_%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
    QVERIFY(makeFiles(names, { 0, 0, 0, 5 }));
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, listener.serverPort());
    QVERIFY(socket->waitForConnected(5000));
    startSender(socket, names);

    // A base receiver: answers the offer's first frame, reads the data and closes.
    QJsonArray offered;
    QByteArray data;
    int sessions = 0;
    while (offered.size() < names.size() && sessions < 10) {
        QTRY_VERIFY(listener.hasPendingConnections());
        TransferPeer peer(listener.nextPendingConnection());
        QVERIFY(peer.exchangeKeys());
        const QJsonObject offer = parse(peer.nextMessage());
        QCOMPARE(offer.contains(QStringLiteral("more")), sessions++ == 0);
        const QJsonArray files = offer.value(QStringLiteral("files")).toArray();
        for (const QJsonValue &name : fileNames(files))
            offered.append(name);
        peer.sendMessage(R"({"response":1})");
        data += peer.messagesUntilClosed().join();
        QCOMPARE(peer.socket->state(), QAbstractSocket::UnconnectedState);
        delete peer.socket;
    }
    QCOMPARE(sessions, 3);
    QCOMPARE(offered, QJsonArray::fromStringList(names));
    QCOMPARE(data.size(), 625 * 5);
    QCOMPARE(sent.batches, QList<int> { 3 });
    QTRY_VERIFY(sent.done());
}

void TestSessions::receiptCarriesTheReceiversError()
{
    QVERIFY(makeFiles({ QStringLiteral("small"), QStringLiteral("big") }, { 1000, 1000000 }));
    testsupport::FileSizeLimit limit(100000);
    QVERIFY(limit.isSet());
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, { QStringLiteral("small"), QStringLiteral("big") });
    QTRY_COMPARE(sent.failures.size(), 1);
    QCOMPARE(got.kinds(), QList<Kind> { Kind::WriteError });
    QVERIFY(got.failures.first().detail.startsWith(downloads->path()));
    QVERIFY(got.failures.first().detail.endsWith(QStringLiteral("/big")));
    // The sender reads the receiver's words, which name the file's name in the transfer, never
    // where the receiver keeps it.
    QCOMPARE(sent.kinds(), QList<Kind> { Kind::PeerFailed });
    QVERIFY(sent.failures.first().detail.contains(QStringLiteral("big")));
    QVERIFY(!sent.failures.first().detail.contains(downloads->path()));
    QVERIFY(sent.results.isEmpty());
}

void TestSessions::missingReceiptIsAnError_data()
{
    QTest::addColumn<bool>("close");
    QTest::addRow("receiver gone") << true;
    QTest::addRow("receiver silent") << false;
}

void TestSessions::missingReceiptIsAnError()
{
    QFETCH(bool, close);
    QVERIFY(makeFiles({ QStringLiteral("file") }, { 100000 }));
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    SenderContext *sender = startSender(pair.client, { QStringLiteral("file") });
    sender->setReceiptTimeLimit(close ? 60000 : 300);
    TransferPeer peer(pair.server);
    QVERIFY(peer.exchangeKeys());
    QVERIFY(!peer.nextMessage().isNull());
    peer.sendMessage(R"({"features":["receipt"],"response":1})");
    QCOMPARE(peer.nextMessage().size() + peer.nextMessage().size(), 100000);
    if (close)
        peer.socket->abort();
    QTRY_COMPARE(sent.kinds(), QList<Kind> { close ? Kind::Network : Kind::TimedOut });
    QVERIFY(sent.results.isEmpty());
    delete peer.socket;
}

void TestSessions::resumesWhereTheLinkDropped_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("changed");
    QTest::addRow("1 GiB resumed") << (qint64(1) << 30) << false;
    QTest::addRow("changed source sent whole") << (qint64(8) << 20) << true;
}

void TestSessions::resumesWhereTheLinkDropped()
{
    QFETCH(qint64, size);
    QFETCH(bool, changed);
    QFile file(source(QStringLiteral("big.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        QCOMPARE(file.write(chunk), qint64(chunk.size()));
    }
    file.close();

    auto cut = testsupport::connectLoopbackPair();
    QVERIFY(cut.client);
    std::unique_ptr<ReceiverContext> first(startReceiver(cut.server));
    std::unique_ptr<SenderContext> firstSender(startSender(cut.client, { QStringLiteral("big.bin") }));
    connect(first.get(), &Context::updateProgressBar, cut.client, [&cut](double fraction) {
        if (fraction >= 0.5)
            cut.client->abort();
    });
    QTRY_COMPARE_WITH_TIMEOUT(got.failures.size(), 1, 120000);
    firstSender.reset();
    first.reset();
    if (changed) {
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
        file.close();
    }

    got = {};
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, { QStringLiteral("big.bin") });
    QTRY_VERIFY_WITH_TIMEOUT(sent.done(), 300000);
    QCOMPARE(got.offers.size(), 1);
    // What the first session left: at least half, as the link dropped after it.
    QCOMPARE(got.offers.first().heldBytes == 0, changed);
    QVERIFY(changed || got.offers.first().heldBytes >= quint64(size / 2));
    // The bytes that arrived in the second session.
    const auto moved = static_cast<qint64>(got.progress.sessionBytes);
    if (changed)
        QCOMPARE(moved, size);
    else
        QVERIFY2(moved > size * 2 / 5 && moved < size * 3 / 5, qPrintable(QString::number(moved)));

    const QStringList folders = QDir(downloads->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), changed ? 2 : 1);
    QFile copy(downloads->filePath(folders.last() + QStringLiteral("/big.bin")));
    QVERIFY(copy.open(QIODevice::ReadOnly) && file.open(QIODevice::ReadOnly));
    QCryptographicHash original(QCryptographicHash::Sha256);
    QCryptographicHash saved(QCryptographicHash::Sha256);
    QVERIFY(original.addData(&file) && saved.addData(&copy));
    QCOMPARE(saved.result(), original.result());
    QCOMPARE(
        QDir(downloads->filePath(QStringLiteral(".orvex-unfinished"))).entryList(QDir::Files).size(), changed ? 1 : 0);
}

void TestSessions::staleRecordsAreDropped_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<bool>("folderKept");
    QTest::addColumn<bool>("earlierKind");
    QTest::addColumn<bool>("dropped");
    QTest::addRow("from yesterday") << 1 << true << false << false;
    QTest::addRow("eight days old") << 8 << true << false << true;
    QTest::addRow("folder deleted") << 0 << false << false << true;
    QTest::addRow("record of the earlier kind") << 0 << true << true << true;
}

void TestSessions::staleRecordsAreDropped()
{
    QFETCH(int, age);
    QFETCH(bool, folderKept);
    QFETCH(bool, earlierKind);
    QFETCH(bool, dropped);
    QDir folder(downloads->filePath(QStringLiteral("2026-12-01-10.00.00")));
    QVERIFY(folder.mkpath(QStringLiteral("sub")));
    const QVector<FileMetadata> offered { { QStringLiteral("sub/a"), 10, 1 } };
    ResumeRecord record(downloads->path(), folder.dirName(), QStringLiteral("pc"), offered);
    record.saved = QDateTime::currentDateTimeUtc().addDays(-age);
    QVERIFY(record.save());
    QFile partial(record.partialPath(0));
    // A partial that the record's numbering does not name is not the record's to remove.
    QFile other(QStringLiteral("%1/sub/.orvex-%2.part").arg(folder.path()).arg(record.partialBase + 5, 16, 16, QLatin1Char('0')));
    if (earlierKind) {
        // Earlier records listed every file with its partial's name.
        partial.setFileName(folder.filePath(QStringLiteral("sub/.orvex-1.part")));
        QFile old(downloads->filePath(QStringLiteral(".orvex-unfinished/2026-12-01-10.00.00.json")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(R"({"folder":"2026-12-01-10.00.00","files":[{"filename":"sub/a","partial":".orvex-1.part","size":10,"written":4}],"sender":"pc"})");
    }
    for (QFile *file : { &partial, &other }) {
        QVERIFY(file->open(QIODevice::WriteOnly) && file->write("abcd") == 4);
        file->close();
    }
    if (!folderKept)
        QVERIFY(folder.removeRecursively());

    ResumeRecord::dropStale(downloads->path());
    const ResumeRecord found = ResumeRecord::find(downloads->path(), QStringLiteral("pc"), offered);
    QCOMPARE(found.isNull(), dropped && !earlierKind);
    QCOMPARE(partial.exists(), !dropped);
    QCOMPARE(other.exists(), folderKept);
    QCOMPARE(QDir(downloads->filePath(QStringLiteral(".orvex-unfinished"))).entryList(QDir::Files).size(), earlierKind || !dropped ? 1 : 0);
    if (!dropped)
        QCOMPARE(found.held().value(0).bytes, quint64(4));
}

void TestSessions::cancelWithABasePeerOnlyCloses_data()
{
    QTest::addColumn<bool>("bySender");
    QTest::addRow("base receiver") << true;
    QTest::addRow("base sender") << false;
}

void TestSessions::cancelWithABasePeerOnlyCloses()
{
    QFETCH(bool, bySender);
    QVERIFY(makeFiles({ QStringLiteral("big.bin") }, { 1 << 20 }));
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    // The peer's end of the connection belongs to the test; it goes after the peer.
    const std::unique_ptr<QTcpSocket> peerSocket(bySender ? pair.server : pair.client);
    std::unique_ptr<TransferPeer> peer;
    Context *cancelling = nullptr;
    if (bySender) {
        cancelling = startSender(pair.client, { QStringLiteral("big.bin") });
        peer = std::make_unique<TransferPeer>(peerSocket.get());
        QVERIFY(peer->exchangeKeys());
        QVERIFY(!peer->nextMessage().isNull());
        peer->sendMessage(R"({"response":1})");
        QVERIFY(!peer->nextMessage().isEmpty());
    } else {
        cancelling = startReceiver(pair.server);
        peer = std::make_unique<TransferPeer>(peerSocket.get());
        QVERIFY(peer->exchangeKeys());
        peer->sendMetadata({ QJsonObject { { QStringLiteral("filename"), QStringLiteral("big.bin") },
            { QStringLiteral("size"), 1 << 20 } } });
        QCOMPARE(peer->nextMessage(), QByteArray(R"({"response":1})"));
        peer->sendMessage(QByteArray(64000, 'x'));
        QTRY_VERIFY(cancelling->totalSize() > 0 && got.filesStarted == 1);
    }
    cancelling->cancel();
    // A base receiver gets only data queued before, never the empty frame; a base sender nothing.
    const QList<QByteArray> rest = peer->messagesUntilClosed();
    QVERIFY(std::none_of(rest.cbegin(), rest.cend(), [](const QByteArray &frame) { return frame.isEmpty(); }));
    QVERIFY(bySender || rest.isEmpty());
    QCOMPARE(peer->socket->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE((bySender ? sent : got).kinds(), QList<Kind> { Kind::CancelledHere });
    QVERIFY(received().isEmpty());
}

void TestSessions::bentStreamFailsOnBothSides_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("tampered");
    // One file of 3 MiB: frame 0 is the offer, 1 to 3 the data, 4 the end. 3000 files of one
    // byte: frames 0 to 2 are the offer in parts.
    QTest::addRow("data frame dropped") << 1 << int(Relay::Drop) << 2 << true;
    QTest::addRow("data frame repeated") << 1 << int(Relay::Repeat) << 2 << true;
    QTest::addRow("data frames reordered") << 1 << int(Relay::Swap) << 2 << true;
    QTest::addRow("data frame sent back") << 1 << int(Relay::Reflect) << 2 << true;
    QTest::addRow("data frame shortened") << 1 << int(Relay::Truncate) << 2 << true;
    QTest::addRow("offer frames reordered") << 3000 << int(Relay::Swap) << 1 << true;
    QTest::addRow("cut before the end frame") << 1 << int(Relay::Cut) << 4 << false;
}

void TestSessions::bentStreamFailsOnBothSides()
{
    QFETCH(int, files);
    QFETCH(int, fault);
    QFETCH(int, frame);
    QFETCH(bool, tampered);
    QStringList names;
    for (int i = 0; i < files; ++i)
        names.append(QStringLiteral("file%1").arg(i));
    QVERIFY(makeFiles(names, { files == 1 ? 3 << 20 : 1 }));
    auto toSender = testsupport::connectLoopbackPair();
    auto toReceiver = testsupport::connectLoopbackPair();
    QVERIFY(toSender.client && toReceiver.client);
    const std::unique_ptr<QTcpSocket> senderEnd(toSender.server);
    const std::unique_ptr<QTcpSocket> receiverEnd(toReceiver.client);
    Relay relay(senderEnd.get(), receiverEnd.get(), Relay::Fault(fault), frame, files == 1 ? 1 : 3);
    std::unique_ptr<ReceiverContext> receiver(startReceiver(toReceiver.server));
    std::unique_ptr<SenderContext> sender(startSender(toSender.client, names));

    QTRY_VERIFY_WITH_TIMEOUT(!sent.failures.isEmpty() && !got.failures.isEmpty(), 20000);
    if (tampered) {
        QCOMPARE(sent.kinds(), QList<Kind> { Kind::Tampered });
        QCOMPARE(got.kinds(), QList<Kind> { Kind::Tampered });
    }
    QVERIFY(sent.results.isEmpty());
    const QStringList saved = received().keys();
    QVERIFY2(std::none_of(saved.cbegin(), saved.cend(), [](const QString &name) { return name.startsWith(QLatin1String("file")); }),
        qPrintable(saved.join(QLatin1Char(' '))));
}

void TestSessions::resumptionTakesOnlyConfirmedBytes_data()
{
    QTest::addColumn<bool>("otherSource");
    QTest::addColumn<bool>("editedCopy");
    QTest::addRow("another file of the same name, size and time") << true << false;
    QTest::addRow("a received file edited since") << false << true;
}

void TestSessions::resumptionTakesOnlyConfirmedBytes()
{
    QFETCH(bool, otherSource);
    QFETCH(bool, editedCopy);
    const QStringList names { QStringLiteral("a"), QStringLiteral("b") };
    // Large enough that what the sender keeps ahead (a few frames of 1 MiB) is well short of the
    // rest when the link drops.
    constexpr int bSize = 20000000;
    QVERIFY(makeFiles(names, { 100000, bSize }));
    {
        auto cut = testsupport::connectLoopbackPair();
        QVERIFY(cut.client);
        std::unique_ptr<ReceiverContext> receiver(startReceiver(cut.server));
        std::unique_ptr<SenderContext> sender(startSender(cut.client, names));
        connect(receiver.get(), &Context::updateProgressBar, cut.client, [&cut](double fraction) {
            if (fraction >= 0.3)
                cut.client->abort();
        });
        QTRY_COMPARE(got.failures.size(), 1);
    }
    const QString folder = QDir(downloads->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
    const auto replaceKeepingTime = [](const QString &path, char fill) {
        QFile file(path);
        const QDateTime time = QFileInfo(path).lastModified();
        return file.open(QIODevice::ReadWrite) && file.write(QByteArray(int(file.size()), fill)) == file.size()
            && file.setFileTime(time, QFileDevice::FileModificationTime);
    };
    if (otherSource)
        QVERIFY(replaceKeepingTime(source(QStringLiteral("b")), 'z'));
    if (editedCopy)
        QVERIFY(replaceKeepingTime(downloads->filePath(folder + QStringLiteral("/a")), 'e'));

    sent = {};
    got = {};
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, names);
    QTRY_VERIFY_WITH_TIMEOUT(sent.done(), 30000);
    QCOMPARE(got.offers.size(), 1);
    QVERIFY(got.offers.first().heldBytes > 0);
    const QMap<QString, QByteArray> saved = received();
    QCOMPARE(saved.value(QStringLiteral("b")), QByteArray(bSize, otherSource ? 'z' : 'b'));
    QCOMPARE(saved.value(QStringLiteral("a")), QByteArray(100000, editedCopy ? 'e' : 'a'));
    // The sender's copy goes beside the edited one, never over it.
    QCOMPARE(saved.value(QStringLiteral("a (1)")), editedCopy ? QByteArray(100000, 'a') : QByteArray());
    QCOMPARE(saved.size(), editedCopy ? 3 : 2);
}

void TestSessions::fullDiskEndsWithItsCause()
{
    const QString smallDisk = qEnvironmentVariable("ORVEX_TEST_SMALL_DISK");
    if (smallDisk.isEmpty())
        QSKIP("needs a small file system of its own: ctest runs it as transfer_sessions_fulldisk");
    Settings::setDownloadPath(smallDisk);
    QVERIFY(makeFiles({ QStringLiteral("big.bin") }, { 5000000 }));
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    startSender(pair.client, { QStringLiteral("big.bin") });
    QTRY_VERIFY(!sent.failures.isEmpty() && !got.failures.isEmpty());
    QCOMPARE(got.kinds(), QList<Kind> { Kind::DiskFull });
    QCOMPARE(sent.kinds(), QList<Kind> { Kind::PeerFailed });
    // What is kept to be resumed is named by a record; nothing hidden is left without one.
    int partials = 0;
    for (QDirIterator it(smallDisk, { QStringLiteral(".orvex-*.part") }, QDir::Files | QDir::Hidden,
             QDirIterator::Subdirectories);
         it.hasNext(); it.next())
        ++partials;
    const int records = QDir(smallDisk + QStringLiteral("/.orvex-unfinished")).entryList(QDir::Files).size();
    QVERIFY2(partials == 0 || records == 1, qPrintable(QStringLiteral("%1 %2").arg(partials).arg(records)));
}

void TestSessions::downloadFolderIsReadOncePerSession()
{
    QVERIFY(makeFiles({ QStringLiteral("big.bin") }, { 2000000 }));
    QTemporaryDir elsewhere;
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    ReceiverContext *receiver = startReceiver(pair.server);
    QString savedInto;
    connect(receiver, &ReceiverContext::filesSaved, this, [&savedInto](const QString &folder) { savedInto = folder; });
    // The user picks another folder while the data flows.
    connect(receiver, &Context::updateProgressBar, this, [&elsewhere] { Settings::setDownloadPath(elsewhere.path()); });
    startSender(pair.client, { QStringLiteral("big.bin") });
    QTRY_VERIFY(sent.done() && got.done());
    QCOMPARE(savedInto, downloads->path());
    QCOMPARE(QFileInfo(got.results.first().folder).absolutePath(), downloads->path());
    QCOMPARE(received().value(QStringLiteral("big.bin")).size(), 2000000);
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestSessions::sealedPeerBreakingTheRulesIsCaught_data()
{
    QTest::addColumn<bool>("peerSends");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<bool>("wide");
    // The files are five bytes; a sealed frame starts with its kind, 0 data and 1 control.
    QTest::addRow("end before the data") << true << QByteArrayList { QByteArray("\x01{\"end\":0}", 10) } << false;
    QTest::addRow("end with another count") << true << QByteArrayList { QByteArray("\0hello", 6), QByteArray("\x01{\"end\":4}", 10) } << false;
    QTest::addRow("data beyond the offer") << true << QByteArrayList { QByteArray("\0hello!", 7) } << false;
    QTest::addRow("empty data") << true << QByteArrayList { QByteArray("\0", 1) } << false;
    QTest::addRow("unknown kind") << true << QByteArrayList { QByteArray("\x07hello") } << false;
    QTest::addRow("verdicts nobody asked for") << true << QByteArrayList { QByteArray("\x01{\"verdicts\":[1]}") } << false;
    QTest::addRow("held beyond the answer's count") << false
        << QByteArrayList { QByteArray("\x01{\"held\":[[0,1,\"00\"],[0,2,\"00\"]]}") } << false;
    QTest::addRow("data from the receiver") << false << QByteArrayList { QByteArray("\0abc", 4) } << false;
    // Under "wide-frames" the offer is "five" and "two" (2 bytes), and frames run across files.
    // "raw:" bytes go as they are: a length field of 1 048 594 (one more than a kind, 1 MiB and
    // a tag) and nothing after it must end the session at once, not wait for the frame.
    const QByteArray tooLong("raw:\x00\x10\x00\x12", 8);
    QTest::addRow("wide: a frame beyond 1 MiB") << true << QByteArrayList { tooLong } << true;
    QTest::addRow("wide: a frame without room for its tag") << true
        << QByteArrayList { QByteArray("raw:\x00\x00\x00\x10", 8) + QByteArray(16, 't') } << true;
    QTest::addRow("wide: 16-bit lengths in a wide stream") << true << QByteArrayList { QByteArray("narrow:\0hello") } << true;
    QTest::addRow("wide: more bytes than the files") << true << QByteArrayList { QByteArray("\0helloab!", 9) } << true;
    QTest::addRow("wide: more after the files") << true
        << QByteArrayList { QByteArray("\0hello", 6), QByteArray("\0ab", 3), QByteArray("\0c", 2) } << true;
    QTest::addRow("wide: to a receiver, a frame beyond 1 MiB") << false << QByteArrayList { tooLong } << true;
}

void TestSessions::sealedPeerBreakingTheRulesIsCaught()
{
    QFETCH(bool, peerSends);
    QFETCH(QByteArrayList, frames);
    QFETCH(bool, wide);
    QVERIFY(makeFiles({ QStringLiteral("five") }, { 5 }));
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    const std::unique_ptr<QTcpSocket> peerSocket(peerSends ? pair.client : pair.server);
    QJsonArray features { QStringLiteral("checked-resume"), QStringLiteral("receipt"), QStringLiteral("sealed") };
    QJsonArray files { QJsonObject { { QStringLiteral("filename"), QStringLiteral("five") }, { QStringLiteral("size"), 5 } } };
    if (wide) {
        features.append(QStringLiteral("wide-frames"));
        files.append(QJsonObject { { QStringLiteral("filename"), QStringLiteral("two") }, { QStringLiteral("size"), 2 } });
    }
    if (peerSends)
        startReceiver(pair.server);
    else
        startSender(pair.client, { QStringLiteral("five") });
    TransferPeer peer(peerSocket.get());
    QVERIFY(peer.exchangeKeys());
    if (peerSends) {
        peer.sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("features"), features }, { QStringLiteral("files"), files } })
                             .toJson(QJsonDocument::Compact));
        QCOMPARE(parse(peer.nextMessage()).value(QStringLiteral("response")).toInt(), 1);
    } else {
        QVERIFY(!peer.nextMessage().isNull());
        peer.sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("features"), features }, { QStringLiteral("held"), 1 },
                                           { QStringLiteral("response"), 1 } })
                             .toJson(QJsonDocument::Compact));
    }
    peer.seal(peerSends, wide);
    for (const QByteArray &frame : frames) {
        if (frame.startsWith("raw:")) {
            peer.write(frame.mid(4));
        } else if (frame.startsWith("narrow:")) {
            const QByteArray wideFrame = peer.frame(frame.mid(7));
            peer.write(wideFrame.mid(2));
        } else {
            peer.sendMessage(frame);
        }
    }
    QTRY_COMPARE((peerSends ? got : sent).kinds(), QList<Kind> { Kind::Tampered });
    // Whatever was whole before the fault stays; the file it broke into gets no name.
    QVERIFY(!received().contains(wide ? QStringLiteral("two") : QStringLiteral("five")));
}

void TestSessions::wideStreamCutKeepsOnlyWholeFiles_data()
{
    QTest::addColumn<int>("cutBytes");
    QTest::addColumn<QStringList>("named");
    // One frame with all of "five" and half of "two": a cut inside it keeps nothing of it.
    QTest::addRow("cut inside the frame") << 12 << QStringList();
    QTest::addRow("cut after the frame") << 1000 << QStringList { QStringLiteral("five") };
}

void TestSessions::wideStreamCutKeepsOnlyWholeFiles()
{
    QFETCH(int, cutBytes);
    QFETCH(QStringList, named);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    TransferPeer peer(pair.client);
    QVERIFY(peer.exchangeKeys());
    const QJsonArray features { QStringLiteral("sealed"), QStringLiteral("wide-frames") };
    const QJsonArray files { QJsonObject { { QStringLiteral("filename"), QStringLiteral("five") }, { QStringLiteral("size"), 5 } },
        QJsonObject { { QStringLiteral("filename"), QStringLiteral("two") }, { QStringLiteral("size"), 2 } } };
    peer.sendMessage(QJsonDocument(QJsonObject { { QStringLiteral("features"), features }, { QStringLiteral("files"), files } })
                         .toJson(QJsonDocument::Compact));
    QCOMPARE(parse(peer.nextMessage()).value(QStringLiteral("response")).toInt(), 1);
    peer.seal(true, true);
    peer.write(peer.frame(QByteArray("\0hellot", 7)).left(cutBytes));
    peer.socket->disconnectFromHost();
    QTRY_COMPARE(got.failures.size(), 1);
    QStringList kept;
    for (const QString &name : { QStringLiteral("five"), QStringLiteral("two") }) {
        if (received().contains(name))
            kept.append(name);
    }
    QCOMPARE(kept, named);
    if (!named.isEmpty())
        QCOMPARE(received().value(QStringLiteral("five")), QByteArray("hello"));
}

void TestSessions::textComesOnlyOnceAccepted_data()
{
    // How the receiver answers; empty: an Orvex receiver that accepts.
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QList<Kind>>("senderKinds");
    QTest::addRow("to Orvex, as text") << QByteArray() << QList<Kind>();
    QTest::addRow("to a base receiver, as its file") << QByteArray(R"({"response":1})") << QList<Kind>();
    QTest::addRow("declined") << QByteArray(R"({"features":["sealed","text"],"response":0})")
                              << QList<Kind> { Kind::Declined };
    QTest::addRow("unanswered") << QByteArray(R"({"features":["sealed","text"],"reason":"timeout","response":0})")
                                << QList<Kind> { Kind::Unanswered };
}

void TestSessions::textComesOnlyOnceAccepted()
{
    QFETCH(QByteArray, answer);
    QFETCH(QList<Kind>, senderKinds);
    // Escapes and a bidi override arrive as sent (they are neutralised where shown), and the
    // text takes more than one frame of either kind.
    const QString text
        = QStringLiteral("链接 https://example.org/\n\x1b[31m\u202Eevil\t") + QString(300000, QLatin1Char('x'));
    const QByteArray utf8 = text.toUtf8();
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    auto *sender = new SenderContext(pair.client, text, QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30)), this);
    sent.follow(sender);
    sender->startHandshake();
    if (answer.isEmpty()) {
        startReceiver(pair.server);
        QTRY_VERIFY(sent.done() && got.done());
        QCOMPARE(got.offers.first().textBytes, quint64(utf8.size()));
        QCOMPARE(got.results.first().text, text);
        // Kept in memory only: nothing below the download folder.
        QCOMPARE(
            QDir(downloads->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        return;
    }
    const std::unique_ptr<QTcpSocket> peerSocket(pair.server);
    TransferPeer peer(pair.server);
    QVERIFY(peer.exchangeKeys());
    const QByteArray offerFrame = peer.nextMessage();
    // The offer names the text's size and the file it makes, and holds none of it.
    const QJsonObject offer = parse(offerFrame);
    QCOMPARE(offer.value(QStringLiteral("text")), QJsonValue(true));
    QCOMPARE(fileNames(offer.value(QStringLiteral("files")).toArray()),
        QJsonArray { QStringLiteral("文字-2026-12-08-10.15.30.txt") });
    QCOMPARE(offer.value(QStringLiteral("files")).toArray().at(0).toObject().value(QStringLiteral("size")).toInt(),
        utf8.size());
    QVERIFY(!offerFrame.contains("https://example.org/"));
    peer.sendMessage(answer);
    QTRY_VERIFY(!sent.failures.isEmpty() || !sent.results.isEmpty());
    QCOMPARE(sent.kinds(), senderKinds);
    delete sender;
    // A base receiver gets the text's bytes as the file's; a refused text is never revealed.
    QCOMPARE(peer.messagesUntilClosed().join(), senderKinds.isEmpty() ? utf8 : QByteArray());
}

void TestSessions::hostileTextIsRefused_data()
{
    QTest::addColumn<QJsonArray>("files");
    // The sealed data after acceptance; none: refused before anyone is asked.
    QTest::addColumn<QByteArray>("data");
    const auto entry = [](int size) {
        return QJsonObject { { QStringLiteral("filename"), QStringLiteral("t.txt") },
            { QStringLiteral("size"), size } };
    };
    QTest::addRow("1 MiB and a byte") << QJsonArray { entry(1024 * 1024 + 1) } << QByteArray();
    QTest::addRow("two entries") << QJsonArray { entry(1), entry(1) } << QByteArray();
    QTest::addRow("empty") << QJsonArray { entry(0) } << QByteArray();
    QTest::addRow("not UTF-8") << QJsonArray { entry(3) } << QByteArray("a\xff\xfe");
}

void TestSessions::hostileTextIsRefused()
{
    QFETCH(QJsonArray, files);
    QFETCH(QByteArray, data);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    startReceiver(pair.server);
    TransferPeer peer(pair.client);
    QVERIFY(peer.exchangeKeys());
    const QJsonArray features { QStringLiteral("receipt"), QStringLiteral("sealed"), QStringLiteral("text") };
    const QJsonObject offer { { QStringLiteral("features"), features }, { QStringLiteral("files"), files },
        { QStringLiteral("text"), true } };
    peer.sendMessage(QJsonDocument(offer).toJson(QJsonDocument::Compact));
    if (!data.isEmpty()) {
        QCOMPARE(parse(peer.nextMessage()).value(QStringLiteral("response")).toInt(), 1);
        peer.seal(true);
        peer.sendMessage(QByteArray(1, '\0') + data);
        peer.sendMessage(QByteArray("\x01{\"end\":") + QByteArray::number(data.size()) + '}');
        // The sender hears why, in a failure receipt.
        QCOMPARE(parse(peer.nextMessage().mid(1)).value(QStringLiteral("receipt")), QJsonValue(0));
    }
    QTRY_COMPARE(got.kinds(), QList<Kind> { Kind::TextRefused });
    QCOMPARE(got.offers.size(), data.isEmpty() ? 0 : 1);
    QVERIFY(got.results.isEmpty());
    QCOMPARE(received(), (QMap<QString, QByteArray>()));
}

ORVEX_TEST_MAIN(TestSessions)
#include "tst_sessions.moc"
