#include "core/paireddevices.h"
#include "core/settings.h"
#include "tests/cli/orvexprocess.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"
#include "transfer/identity.h"
#include "transfer/sendercontext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int success = 0;
constexpr int usageError = 2;
constexpr int refused = 3;
constexpr int notFound = 4;

const QString senderName = QStringLiteral("笔记本");

} // namespace

class TestPairedCommand : public QObject
{
    Q_OBJECT

    QString discoveryPort;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Identity> alice;

private slots:
    void initTestCase();
    void init();
    void changesThePairs_data();
    void changesThePairs();
    void acceptPairedTakesOnlyProvenPairs_data();
    void acceptPairedTakesOnlyProvenPairs();
};

void TestPairedCommand::initTestCase()
{
    QVERIFY2(QFileInfo(OrvexProcess::executable()).isExecutable(), "ORVEX_EXECUTABLE is not set");
    discoveryPort = QString::number(testsupport::freeUdpPort());
    // The store the commands read and change: the user's settings file in the private HOME.
    PairedDevices::keepStoreIn(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf"));
}

void TestPairedCommand::init()
{
    for (const PairedDevice &device : PairedDevices::all())
        PairedDevices::unpair(device.fingerprint());
    dir = std::make_unique<QTemporaryDir>();
    alice = std::make_unique<Identity>(dir->filePath(QStringLiteral("alice.key")));
    QVERIFY(PairedDevices::pair(alice->publicKey(), senderName));
    PairedDevices::setLastAddress(alice->fingerprint(), KnownAddress::parse(QStringLiteral("192.168.1.5")));
}

void TestPairedCommand::changesThePairs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    // What the device is afterwards, as "paired --json" prints it; empty: no longer paired.
    QTest::addColumn<QString>("after");
    const QString fp = QStringLiteral("@fp@");
    const QString kept
        = QStringLiteral(R"({"autoAccept":false,"fingerprint":"@fp@","lastAddress":"192.168.1.5","name":"笔记本"})");
    QTest::addRow("list") << QStringList() << success << kept;
    QTest::addRow("rename, fingerprint in capitals") << QStringList { "rename", "@FP@", "书房" } << success
                                                     << QString(kept).replace(senderName, QStringLiteral("书房"));
    QTest::addRow("automatic accept on") << QStringList { "auto", fp, "on" } << success
                                         << QString(kept).replace(QStringLiteral("false"), QStringLiteral("true"));
    QTest::addRow("unpair") << QStringList { "unpair", fp } << success << QString();
    QTest::addRow("unknown fingerprint") << QStringList { "unpair", "0123456789abcdef" } << notFound << kept;
    QTest::addRow("unknown action") << QStringList { "forget", fp } << usageError << kept;
}

void TestPairedCommand::changesThePairs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, after);
    const QString fp = alice->fingerprint();
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("@fp@"), fp).replace(QStringLiteral("@FP@"), fp.toUpper());
    OrvexProcess change;
    change.run(QStringList { QStringLiteral("paired") } + arguments);
    QCOMPARE(change.waitForExit(), status);
    OrvexProcess list;
    list.run({ QStringLiteral("paired"), QStringLiteral("--json") });
    QCOMPARE(list.waitForExit(), success);
    QCOMPARE(list.output().trimmed(), QString(after).replace(QStringLiteral("@fp@"), fp));
}

void TestPairedCommand::acceptPairedTakesOnlyProvenPairs_data()
{
    QTest::addColumn<bool>("provesPairedKey");
    QTest::addColumn<bool>("unpairFirst");
    QTest::addColumn<QString>("option");
    // Typed at the question; empty: no input.
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("note");
    QTest::addRow("paired device: accepted without asking")
        << true << false << "--accept-paired" << QByteArray() << success << QStringLiteral("已配对：笔记本");
    QTest::addRow("paired name, another key: asked")
        << false << false << "--accept-paired" << QByteArray() << refused << QStringLiteral("无法证明它就是那台设备");
    QTest::addRow("unpaired since: asked")
        << true << true << "--accept-paired" << QByteArray() << refused << QStringLiteral("是否接收文件？");
    QTest::addRow("pairs on yes") << true << true << "--pair" << QByteArray("y\n") << success
                                  << QStringLiteral("已与 笔记本 配对");
}

void TestPairedCommand::acceptPairedTakesOnlyProvenPairs()
{
    QFETCH(bool, provesPairedKey);
    QFETCH(bool, unpairFirst);
    QFETCH(QString, option);
    QFETCH(QByteArray, input);
    QFETCH(int, status);
    QFETCH(QString, note);
    if (unpairFirst)
        PairedDevices::unpair(alice->fingerprint());
    const Identity other(dir->filePath(QStringLiteral("other.key")));
    OrvexProcess receiver;
    receiver.run({ QStringLiteral("receive"), QStringLiteral("--once"), option, QStringLiteral("--port"),
        QStringLiteral("0"), QStringLiteral("--dir"), dir->filePath(QStringLiteral("downloads")),
        QStringLiteral("--name"), QStringLiteral("接收端"), QStringLiteral("--discovery-port"), discoveryPort });
    if (input.isEmpty())
        receiver.closeWriteChannel();
    else
        receiver.write(input);
    const QRegularExpressionMatch port = receiver.waitForOutput(QStringLiteral("端口 (\\d+)"));
    QVERIFY2(port.hasMatch(), qPrintable(receiver.errors()));

    Settings::overrideForThisRun(QStringLiteral("deviceName"), senderName);
    const QString path = dir->filePath(QStringLiteral("a.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("paired") == 6);
    file.close();
    auto *socket = new QTcpSocket;
    socket->connectToHost(QHostAddress::LocalHost, port.captured(1).toUShort());
    SenderContext sender(
        socket, { QSharedPointer<QFile>::create(path) }, { { QStringLiteral("a.txt"), QString() } }, nullptr);
    sender.setIdentity(provesPairedKey ? alice.get() : &other);
    sender.setPeerName(QStringLiteral("接收端"));
    QSignalSpy finished(&sender, &Context::transferFinished);
    QSignalSpy failed(&sender, &Context::transferFailed);
    sender.startHandshake();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size() + failed.size(), 1, 20000);
    QCOMPARE(receiver.waitForExit(), status);
    QCOMPARE(finished.size(), status == success ? 1 : 0);
    QVERIFY2(receiver.output().contains(note), qPrintable(receiver.output()));
    // Only a proven key is ever stored or accepted.
    QCOMPARE(PairedDevices::find(alice->publicKey()).has_value(), !unpairFirst || status == success);
    QVERIFY(!PairedDevices::find(other.publicKey()));
}

ORVEX_TEST_MAIN(TestPairedCommand)
#include "tst_pairedcommand.moc"
