#include "core/settings.h"
#include "tests/cli/orvexprocess.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <csignal>
#include <memory>

namespace {

constexpr int sendFinished = 0;
constexpr int sendFailed = 1;
constexpr int usageError = 2;
constexpr int sendRefused = 3;
constexpr int deviceNotFound = 4;
constexpr int unanswered = 5;
constexpr int interruptedByCtrlC = 128 + SIGINT;
// Large enough that a transfer is surely still running when it is interrupted; sparse, so it
// costs no disk on the sending side.
constexpr qint64 largeFileBytes = Q_INT64_C(4) << 30;
constexpr int transferTimeoutMsec = 60000;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Relative paths of every regular file below folder.
QStringList filesBelow(const QString &folder, QDir::Filters hidden = QDir::Hidden)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(folder).relativeFilePath(it.next()));
    found.sort();
    return found;
}

// What a terminal would act on: C0 controls other than line feed and tab (ESC among them), DEL,
// C1 controls, and the bidirectional embeddings, overrides and isolates.
bool holdsTerminalControls(const QString &text)
{
    static const QRegularExpression controls(
        QStringLiteral("[\\x00-\\x08\\x0b-\\x1f\\x7f-\\x9f\\x{202a}-\\x{202e}\\x{2066}-\\x{2069}]"));
    return text.contains(controls);
}

// Sets the window title, clears the screen, shows a success it did not earn in green, and puts a
// command into the clipboard (OSC 52).
const QString hostileText = QStringLiteral("\x1b]0;owned\x07\x1b[2J\x1b[32m传输完成！\x1b]52;c;Y3VybCB4IHwgc2g=\x07"
                                           "\u009b0m\u202e\x7f磁盘已满");

qint64 partialBytes(const QString &folder)
{
    qint64 bytes = 0;
    for (const QString &name : filesBelow(folder))
        if (QFileInfo(name).fileName().startsWith(QLatin1String(".orvex-")))
            bytes += QFileInfo(folder + QLatin1Char('/') + name).size();
    return bytes;
}

} // namespace

class TestTransferCommands : public QObject
{
    Q_OBJECT

private:
    enum Receiver {
        OrvexAccepting,
        EngineAccepting,
        EngineDeclining,
        OrvexAnswering,
        OrvexWithoutInput,
        OrvexUnanswered
    };

    quint16 discoveryPort = 0;

    QStringList common() const { return { QStringLiteral("--discovery-port"), QString::number(discoveryPort) }; }

    // Starts the receiving side; returns its transfer port (0 on failure).
    quint16 startReceiver(
        Receiver kind, const QString &downloads, OrvexProcess &process, std::unique_ptr<Server> &server)
    {
        if (kind == EngineAccepting || kind == EngineDeclining) {
            // The engine the tray application runs, answered in this process.
            Settings::overrideForThisRun(QStringLiteral("downloadPath"), downloads);
            server = std::make_unique<Server>();
            Server *owner = server.get();
            connect(owner, &Server::incomingSession, owner, [owner, kind](ReceiverContext *session) {
                session->setParent(owner);
                connect(session, &Context::metaDataReady, session,
                    [session, kind] { session->response(kind == EngineAccepting); });
                session->startHandshake();
            });
            server->start();
            return server->serverPort();
        }
        QStringList arguments { QStringLiteral("receive"), QStringLiteral("--once"), QStringLiteral("--port"),
            QStringLiteral("0"), QStringLiteral("--dir"), downloads, QStringLiteral("--name"),
            QStringLiteral("接收端") };
        if (kind == OrvexAccepting)
            arguments << QStringLiteral("--accept");
        // OrvexUnanswered keeps its input open and says nothing.
        process.run(arguments + common());
        if (kind == OrvexAnswering)
            process.write("n\n");
        if (kind == OrvexWithoutInput)
            process.closeWriteChannel();
        const QRegularExpressionMatch match = process.waitForOutput(QStringLiteral("端口 (\\d+)"));
        if (!match.hasMatch())
            qWarning("receiver did not start: %s", qPrintable(process.errors()));
        return match.captured(1).toUShort();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(OrvexProcess::executable()).isExecutable(), "ORVEX_EXECUTABLE is not set");
        discoveryPort = testsupport::freeUdpPort();
        QVERIFY(discoveryPort != 0);
    }

    void init() { Settings::clearRunOverrides(); }

    void deliversFilesAndFolders_data()
    {
        QTest::addColumn<int>("receiver");
        QTest::addRow("to orvex receive --accept") << int(OrvexAccepting);
        QTest::addRow("to the application's engine") << int(EngineAccepting);
    }

    void deliversFilesAndFolders()
    {
        QFETCH(int, receiver);
        QTemporaryDir source;
        QTemporaryDir downloads;
        const QMap<QString, QByteArray> sent {
            { QStringLiteral("相册/a.txt"), randomBytes(300000) },
            { QStringLiteral("相册/sub/b.bin"), randomBytes((1 << 20) + 64) },
            { QStringLiteral("相册/empty.txt"), QByteArray() },
            { QStringLiteral("single.dat"), randomBytes(4096) },
        };
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            writeFile(source.filePath(it.key()), it.value());

        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(Receiver(receiver), downloads.path(), receiving, server);
        QVERIFY(port != 0);

        OrvexProcess sending;
        sending.run(
            QStringList { QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("127.0.0.1:%1").arg(port),
                source.filePath(QStringLiteral("相册/")), source.filePath(QStringLiteral("single.dat")) }
            + common());
        QTRY_VERIFY_WITH_TIMEOUT(sending.state() == QProcess::NotRunning, transferTimeoutMsec);
        QCOMPARE(sending.waitForExit(), sendFinished);
        const QRegularExpressionMatch code = sending.waitForOutput(QStringLiteral("验证码: (\\d{6})"));
        QVERIFY2(code.hasMatch(), qPrintable(sending.output()));
        if (receiver == OrvexAccepting) {
            QCOMPARE(receiving.waitForExit(), sendFinished);
            // The receiving side showed the same code before it accepted.
            QVERIFY(receiving.output().contains(QStringLiteral("验证码： \"%1\"").arg(code.captured(1))));
        }

        // Everything lands in one dated folder, below it under the names sent.
        const QStringList folders = QDir(downloads.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        const QString received = downloads.filePath(folders.first());
        QCOMPARE(filesBelow(received), QStringList(sent.keys()));
        for (auto it = sent.cbegin(); it != sent.cend(); ++it)
            QVERIFY2(readFile(received + QLatin1Char('/') + it.key()) == it.value(), qPrintable(it.key()));
    }

    void declinedOfferEndsWithItsStatus_data()
    {
        QTest::addColumn<int>("receiver");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QString declined = QStringLiteral("接收设备拒绝接收文件！");
        QTest::addRow("answered no on the terminal") << int(OrvexAnswering) << sendRefused << declined;
        QTest::addRow("no input to answer with") << int(OrvexWithoutInput) << sendRefused << declined;
        QTest::addRow("declined by the application's engine") << int(EngineDeclining) << sendRefused << declined;
        QTest::addRow("nobody answers in time")
            << int(OrvexUnanswered) << unanswered << QStringLiteral("接收设备无人回答，已自动拒绝！");
    }

    void declinedOfferEndsWithItsStatus()
    {
        QFETCH(int, receiver);
        QFETCH(int, status);
        QFETCH(QString, said);
        QTemporaryDir source;
        QTemporaryDir downloads;
        writeFile(source.filePath(QStringLiteral("note.txt")), "not wanted");
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(Receiver(receiver), downloads.path(), receiving, server);
        QVERIFY(port != 0);

        OrvexProcess sending;
        sending.run(QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                        QStringLiteral("127.0.0.1:%1").arg(port), source.filePath(QStringLiteral("note.txt")) }
            + common());
        QTRY_VERIFY_WITH_TIMEOUT(sending.state() == QProcess::NotRunning, transferTimeoutMsec);
        QCOMPARE(sending.waitForExit(), status);
        QVERIFY2(sending.errors().contains(said), qPrintable(sending.errors()));
        if (!server)
            QCOMPARE(receiving.waitForExit(), status);
        QCOMPARE(filesBelow(downloads.path()), QStringList());
    }

    void sendsATextFromStandardInput_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("status");
        QTest::addRow("to orvex receive --json") << 0 << sendFinished;
        QTest::addRow("1 MiB and a byte, refused before connecting") << (1 << 20) + 1 << usageError;
    }

    void sendsATextFromStandardInput()
    {
        QFETCH(int, bytes);
        QFETCH(int, status);
        const QByteArray text = bytes > 0 ? QByteArray(bytes, 'x') : QByteArray("链接\nhttps://example.org/\x1b[2J");
        QTemporaryDir folder;
        writeFile(folder.filePath(QStringLiteral("text")), text);
        const quint16 port = testsupport::freeTcpPort();
        OrvexProcess receiving;
        receiving.run(QStringList { QStringLiteral("receive"), QStringLiteral("--json"), QStringLiteral("--once"),
                          QStringLiteral("--accept"), QStringLiteral("--port"), QString::number(port),
                          QStringLiteral("--dir"), folder.filePath(QStringLiteral("downloads")) }
            + common());
        QVERIFY(receiving.waitForStarted());
        OrvexProcess sending;
        sending.setStandardInputFile(folder.filePath(QStringLiteral("text")));
        // Until the receiver listens, the connection is refused: tried again.
        do {
            sending.run(QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                            QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--text"), QStringLiteral("-") }
                + common());
        } while (sending.waitForExit(transferTimeoutMsec) == sendFailed
            && sending.errors().contains(QStringLiteral("无法连接")));
        QCOMPARE(sending.exitCode(), status);
        if (bytes > 0) {
            QVERIFY2(sending.errors().contains(QStringLiteral("最多 1 MiB")), qPrintable(sending.errors()));
            receiving.sendSignal(SIGINT);
            QCOMPARE(receiving.waitForExit(), 0);
            return;
        }
        QCOMPARE(receiving.waitForExit(), sendFinished);
        QJsonObject event;
        for (const QString &line : receiving.output().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject parsed = QJsonDocument::fromJson(line.toUtf8()).object();
            if (parsed.value(QStringLiteral("event")) == QLatin1String("text"))
                event = parsed;
        }
        // The event carries the text as sent; nothing is saved.
        QCOMPARE(event.value(QStringLiteral("text")).toString(), QString::fromUtf8(text));
        QCOMPARE(event.value(QStringLiteral("bytes")).toInt(), text.size());
        QCOMPARE(filesBelow(folder.filePath(QStringLiteral("downloads"))), QStringList());
    }

    void reportsEventsAsJsonOrQuietly_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addRow("json") << QStringLiteral("--json");
        QTest::addRow("quiet") << QStringLiteral("--quiet");
    }

    void reportsEventsAsJsonOrQuietly()
    {
        QFETCH(QString, mode);
        QTemporaryDir source;
        QTemporaryDir downloads;
        // Two million bytes read "2 MB", as in the windows.
        writeFile(source.filePath(QStringLiteral("a.bin")), randomBytes(2000000));
        writeFile(source.filePath(QStringLiteral("b.txt")), "b");
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(OrvexAccepting, downloads.path(), receiving, server);
        QVERIFY(port != 0);
        OrvexProcess sending;
        sending.run(QStringList { QStringLiteral("send"), mode, QStringLiteral("--to"),
                        QStringLiteral("127.0.0.1:%1").arg(port), source.filePath(QStringLiteral("a.bin")),
                        source.filePath(QStringLiteral("b.txt")) }
            + common());
        QCOMPARE(sending.waitForExit(transferTimeoutMsec), sendFinished);
        QCOMPARE(receiving.waitForExit(), sendFinished);
        QVERIFY2(receiving.output().contains(QStringLiteral("总大小为 2 MB")), qPrintable(receiving.output()));
        // The files went into the dated folder the receiver names.
        const QString folder = QDir(downloads.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
        QVERIFY2(receiving.output().contains(QStringLiteral("文件已保存到 %1").arg(downloads.filePath(folder))),
            qPrintable(receiving.output()));
        const QStringList lines = sending.output().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (mode == QLatin1String("--quiet")) {
            QCOMPARE(lines.size(), 1);
            QVERIFY2(
                lines.first().startsWith(QStringLiteral("发送完成：2 个文件，2 MB，用时 ")), qPrintable(lines.first()));
            return;
        }
        QStringList events;
        QJsonObject done;
        for (const QString &line : lines) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(!event.isEmpty(), qPrintable(line));
            if (events.isEmpty() || events.last() != event.value(QStringLiteral("event")).toString())
                events.append(event.value(QStringLiteral("event")).toString());
            if (events.last() == QLatin1String("offer"))
                QCOMPARE(event.value(QStringLiteral("code")).toString().size(), 6);
            if (events.last() == QLatin1String("done"))
                done = event;
        }
        QVERIFY2(events.size() == 6, qPrintable(sending.output()));
        QCOMPARE(events,
            QStringList({ QStringLiteral("offer"), QStringLiteral("progress"), QStringLiteral("file"),
                QStringLiteral("progress"), QStringLiteral("file"), QStringLiteral("done") }));
        QCOMPARE(done.value(QStringLiteral("bytes")).toDouble(), 2000001.0);
        QCOMPARE(done.value(QStringLiteral("status")).toInt(), sendFinished);
    }

    void hostileNamesWriteNothingOutside_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("parent folder") << QStringLiteral("../escape.txt");
        QTest::addRow("parent further down") << QStringLiteral("ok/../../../escape.txt");
        QTest::addRow("absolute path") << QStringLiteral("@root@/absolute.txt");
        QTest::addRow("current folder part") << QStringLiteral("./dot.txt");
    }

    void hostileNamesWriteNothingOutside()
    {
        QFETCH(QString, name);
        QTemporaryDir root;
        const QString downloads = root.filePath(QStringLiteral("home/in"));
        name.replace(QStringLiteral("@root@"), root.path());
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(OrvexAccepting, downloads, receiving, server);
        QVERIFY(port != 0);

        TransferPeer peer;
        QVERIFY(peer.connectTo(port));
        peer.sendMetadata(
            QJsonArray { QJsonObject { { QStringLiteral("filename"), name }, { QStringLiteral("size"), 5 } } },
            QStringLiteral("敌意的设备"));
        peer.sendMessage("hello");
        QVERIFY2(receiving.waitForError(QStringLiteral("不安全")).hasMatch(), qPrintable(receiving.errors()));

        receiving.sendSignal(SIGINT);
        QCOMPARE(receiving.waitForExit(), sendFinished);
        QCOMPARE(filesBelow(root.path()), QStringList());
    }

    void announcesArrivalAndLeave()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(
            QHostAddress::AnyIPv4, discoveryPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        QTemporaryDir downloads;
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(OrvexAccepting, downloads.path(), receiving, server);
        QVERIFY(port != 0);
        const auto nextAnnouncement = [&listener] {
            if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(transferTimeoutMsec))
                return QJsonObject();
            return QJsonDocument::fromJson(listener.receiveDatagram().data()).object();
        };
        QJsonObject arrival = nextAnnouncement();
        QCOMPARE(arrival.value(QStringLiteral("device_name")).toString(), QStringLiteral("接收端"));
        QCOMPARE(arrival.value(QStringLiteral("port")).toInt(), int(port));

        receiving.sendSignal(SIGINT);
        QCOMPARE(receiving.waitForExit(), sendFinished);
        const QJsonObject leave = nextAnnouncement();
        QCOMPARE(leave.value(QStringLiteral("device_name")).toString(), QStringLiteral("接收端"));
        QCOMPARE(leave.value(QStringLiteral("port")).toInt(), 0);
    }

    void interruptLeavesNoFileUnderItsName_data()
    {
        QTest::addColumn<bool>("interruptSender");
        QTest::addRow("sender interrupted") << true;
        QTest::addRow("receiver interrupted") << false;
    }

    void interruptLeavesNoFileUnderItsName()
    {
        QFETCH(bool, interruptSender);
        QTemporaryDir source;
        QTemporaryDir downloads;
        {
            QFile large(source.filePath(QStringLiteral("large.bin")));
            QVERIFY(large.open(QIODevice::WriteOnly));
            QVERIFY(large.resize(largeFileBytes));
        }
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        receiving.run({ QStringLiteral("receive"), QStringLiteral("--accept"), QStringLiteral("--port"),
            QStringLiteral("0"), QStringLiteral("--dir"), downloads.path(), QStringLiteral("--discovery-port"),
            QString::number(discoveryPort) });
        const QRegularExpressionMatch started = receiving.waitForOutput(QStringLiteral("端口 (\\d+)"));
        QVERIFY(started.hasMatch());

        OrvexProcess sending;
        sending.run(
            QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                QStringLiteral("127.0.0.1:%1").arg(started.captured(1)), source.filePath(QStringLiteral("large.bin")) }
            + common());
        QTRY_VERIFY_WITH_TIMEOUT(partialBytes(downloads.path()) > 0, transferTimeoutMsec);

        OrvexProcess &interrupted = interruptSender ? sending : receiving;
        OrvexProcess &other = interruptSender ? receiving : sending;
        interrupted.sendSignal(SIGINT);
        QCOMPARE(interrupted.waitForExit(), interruptedByCtrlC);
        if (interruptSender) {
            // The receiver learns why and stays ready for the next offer.
            QVERIFY2(
                receiving.waitForError(QStringLiteral("对方已取消传输")).hasMatch(), qPrintable(receiving.errors()));
            other.sendSignal(SIGINT);
            QCOMPARE(other.waitForExit(), sendFinished);
        } else {
            QCOMPARE(other.waitForExit(), sendFailed);
            QVERIFY2(sending.errors().contains(QStringLiteral("对方已取消传输")), qPrintable(sending.errors()));
        }
        // What was written stays hidden, for the sender to continue it later.
        QCOMPARE(filesBelow(downloads.path(), QDir::Filters()), QStringList());
    }

    void killedReceiverContinuesWhereItStopped()
    {
        QTemporaryDir source;
        QTemporaryDir downloads;
        const QString file = source.filePath(QStringLiteral("large.bin"));
        {
            QFile large(file);
            QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(Q_INT64_C(512) << 20));
        }
        const auto receive = [&](OrvexProcess &receiving) {
            receiving.run({ QStringLiteral("receive"), QStringLiteral("--accept"), QStringLiteral("--port"),
                QStringLiteral("0"), QStringLiteral("--dir"), downloads.path(), QStringLiteral("--discovery-port"),
                QString::number(discoveryPort) });
            return receiving.waitForOutput(QStringLiteral("端口 (\\d+)")).captured(1);
        };
        const auto send = [&](OrvexProcess &sending, const QString &port) {
            sending.run(QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                            QStringLiteral("127.0.0.1:%1").arg(port), file }
                + common());
        };
        OrvexProcess killed;
        OrvexProcess cut;
        send(cut, receive(killed));
        QTRY_VERIFY_WITH_TIMEOUT(partialBytes(downloads.path()) > 0, transferTimeoutMsec);
        killed.sendSignal(SIGKILL);
        QCOMPARE(cut.waitForExit(), sendFailed);

        OrvexProcess receiving;
        OrvexProcess sending;
        send(sending, receive(receiving));
        QVERIFY2(
            receiving.waitForOutput(QStringLiteral("继续上次未完成的传输")).hasMatch(), qPrintable(receiving.errors()));
        QCOMPARE(sending.waitForExit(transferTimeoutMsec), sendFinished);
        receiving.sendSignal(SIGINT);
        receiving.waitForExit();
        const QStringList saved = filesBelow(downloads.path());
        QCOMPARE(saved.size(), 1);
        QCOMPARE(QFileInfo(downloads.filePath(saved.first())).size(), Q_INT64_C(512) << 20);
    }

    void receiversErrorReachesTheTerminalPlain()
    {
        QTemporaryDir source;
        writeFile(source.filePath(QStringLiteral("note.txt")), "hello");
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        OrvexProcess sending;
        sending.run(
            QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                QStringLiteral("127.0.0.1:%1").arg(listener.serverPort()), source.filePath(QStringLiteral("note.txt")) }
            + common());
        QVERIFY(listener.waitForNewConnection(transferTimeoutMsec));
        // A receiver that accepts, takes the data and answers with a failure receipt of its own.
        TransferPeer peer(listener.nextPendingConnection());
        QVERIFY(peer.exchangeKeys());
        QVERIFY(!peer.nextMessage().isNull());
        peer.sendMessage(R"({"features":["receipt"],"response":1})");
        QCOMPARE(peer.nextMessage(), QByteArray("hello"));
        peer.sendMessage(
            QJsonDocument(QJsonObject { { QStringLiteral("error"), hostileText }, { QStringLiteral("receipt"), 0 } })
                .toJson(QJsonDocument::Compact));
        QCOMPARE(sending.waitForExit(), sendFailed);
        QVERIFY2(sending.errors().contains(QStringLiteral("磁盘已满")), qPrintable(sending.errors()));
        QVERIFY2(!holdsTerminalControls(sending.output() + sending.errors()), qPrintable(sending.errors()));
    }

    void qtWarningAboutAFileNameReachesTheTerminalPlain()
    {
        QTemporaryDir downloads;
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(OrvexAccepting, downloads.path(), receiving, server);
        QVERIFY(port != 0);
        // Within what an offer may name, but longer than a path may be below the download folder:
        // making it fails, and what Qt and the session say of it quotes the name.
        QString name = hostileText + QLatin1Char('/');
        while (name.toUtf8().size() + 251 <= ReceiverContext::maxNameBytes - 6)
            name += QString(250, QLatin1Char('x')) + QLatin1Char('/');
        name += QString(ReceiverContext::maxNameBytes - 6 - name.toUtf8().size(), QLatin1Char('x'));
        TransferPeer peer;
        QVERIFY(peer.connectTo(port));
        peer.sendMetadata(
            QJsonArray { QJsonObject { { QStringLiteral("filename"), name }, { QStringLiteral("size"), 5 } } },
            hostileText);
        peer.sendMessage("hello");
        QVERIFY(receiving.waitForExit() != -1);
        QVERIFY2(receiving.errors().contains(QStringLiteral("xxxxxxxxxx")), qPrintable(receiving.errors()));
        QVERIFY2(!holdsTerminalControls(receiving.output() + receiving.errors()), qPrintable(receiving.errors()));
    }

    void interruptJustAfterTheEndKeepsSuccess()
    {
        QTemporaryDir source;
        QTemporaryDir downloads;
        writeFile(source.filePath(QStringLiteral("note.txt")), "delivered");
        OrvexProcess receiving;
        std::unique_ptr<Server> server;
        const quint16 port = startReceiver(OrvexAccepting, downloads.path(), receiving, server);
        QVERIFY(port != 0);
        OrvexProcess sending;
        sending.run(QStringList { QStringLiteral("send"), QStringLiteral("--to"),
                        QStringLiteral("127.0.0.1:%1").arg(port), source.filePath(QStringLiteral("note.txt")) }
            + common());
        // The session ends a moment after it tells of success.
        QVERIFY(sending.waitForOutput(QStringLiteral("传输完成！"), transferTimeoutMsec).hasMatch());
        sending.sendSignal(SIGINT);
        QCOMPARE(sending.waitForExit(), sendFinished);
    }

    void commandLineMistakesAndHelp_data()
    {
        const QString someFile = QCoreApplication::applicationFilePath();
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addRow("overview") << QStringList { QStringLiteral("--help") } << 0 << QStringLiteral("inbox");
        QTest::addRow("help of a command")
            << QStringList { QStringLiteral("send"), QStringLiteral("--help") } << 0 << QStringLiteral("退出状态");
        QTest::addRow("unknown command") << QStringList { QStringLiteral("fly") } << usageError
                                         << QStringLiteral("未知的命令");
        QTest::addRow("unknown option") << QStringList { QStringLiteral("devices"), QStringLiteral("--colour") }
                                        << usageError << QStringLiteral("colour");
        QTest::addRow("send without device")
            << QStringList { QStringLiteral("send"), someFile } << usageError << QStringLiteral("--to");
        QTest::addRow("port out of range")
            << QStringList { QStringLiteral("receive"), QStringLiteral("--port"), QStringLiteral("70000") }
            << usageError << QStringLiteral("70000");
        QTest::addRow("missing file") << QStringList { QStringLiteral("send"), QStringLiteral("--to"),
            QStringLiteral("127.0.0.1:1"), QStringLiteral("/nonexistent/file") }
                                      << usageError << QStringLiteral("/nonexistent/file");
        QTest::addRow("nobody listening")
            << QStringList { QStringLiteral("send"), QStringLiteral("--to"), QStringLiteral("127.0.0.1:1"), someFile }
            << sendFailed << QStringLiteral("无法连接");
        QTest::addRow("no device of that name") << QStringList { QStringLiteral("send"), QStringLiteral("--to"),
            QStringLiteral("nobody"), QStringLiteral("--wait"), QStringLiteral("0"), someFile }
                                                << deviceNotFound << QStringLiteral("找不到设备");
    }

    void takenPortSaysWhy()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::Any));
        OrvexProcess orvex;
        orvex.run(QStringList { QStringLiteral("receive"), QStringLiteral("--port"), QString::number(occupant.serverPort()) }
            + common());
        QCOMPARE(orvex.waitForExit(), sendFailed);
        // The system's reason follows the port.
        const QRegularExpressionMatch line
            = QRegularExpression(QStringLiteral("无法监听 %1 端口：(.+)").arg(occupant.serverPort())).match(orvex.errors());
        QVERIFY2(line.hasMatch() && !line.captured(1).trimmed().isEmpty(), qPrintable(orvex.errors()));
    }

    void commandLineMistakesAndHelp()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        OrvexProcess orvex;
        orvex.run(arguments + common());
        QCOMPARE(orvex.waitForExit(), status);
        const QString text = status == 0 ? orvex.output() : orvex.errors();
        QVERIFY2(text.contains(said), qPrintable(text));
    }
};

ORVEX_TEST_MAIN(TestTransferCommands)
#include "tst_transfercommands.moc"
