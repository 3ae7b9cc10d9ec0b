#include "core/paireddevices.h"
#include "core/settings.h"
#include "discovery/devicelist.h"
#include "discovery/discoveryservice.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(QHostAddress)

namespace {

// The peer's namespace of this run, built by the lan script.
const QString tag = QStringLiteral("pa%1").arg(QCoreApplication::applicationPid());
const QString peerNamespace = tag + QLatin1Char('p');

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool inPeer(const QStringList &command)
{
    return run(QStringLiteral("ip"), QStringList { QStringLiteral("-n"), peerNamespace } + command);
}

// Starts the peer device in its namespace and waits until it listens.
bool startPeer(QProcess &peer, const QString &configFolder, const QString &fingerprint, quint16 port)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
    peer.setProcessEnvironment(environment);
    peer.start(QStringLiteral("ip"),
        { QStringLiteral("netns"), QStringLiteral("exec"), peerNamespace, QStringLiteral(ORVEX_DISCOVERY_PEER),
            QStringLiteral("书房电脑"), fingerprint, QString::number(port) });
    return peer.waitForReadyRead(10000) && peer.readLine().trimmed() == "ready";
}

int reportsFrom(const QSignalSpy &reports, const QHostAddress &address)
{
    int count = 0;
    for (const QList<QVariant> &report : reports)
        count += report.at(1).value<QHostAddress>().isEqual(address, QHostAddress::TolerantConversion) ? 1 : 0;
    return count;
}

} // namespace

// A paired device on a network that drops broadcasts (the peer's nftables input drops every one):
// found by asking its last address directly, and followed when its address changes.
class TestPairedAddress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QHostAddress>(); }
    void cleanup() { run(QStringLiteral(ORVEX_LAN_SCRIPT), { QStringLiteral("down"), tag }); }

    void pairedDeviceIsAskedAtItsLastAddress()
    {
        QVERIFY(run(QStringLiteral(ORVEX_LAN_SCRIPT), { QStringLiteral("up"), tag, QStringLiteral("dropped") }));
        const quint16 port = testsupport::freeUdpPort();
        Settings::setDiscoveryPort(port);
        const QByteArray key(PairedDevices::identityKeyBytes, 'k');
        QVERIFY(PairedDevices::pair(key, QStringLiteral("书房")));
        const QString fingerprint = PairedDevices::fingerprintOf(key);
        QVERIFY(PairedDevices::setLastAddress(fingerprint, KnownAddress::parse(QStringLiteral("10.77.1.2"))));
        QTemporaryDir config;
        QProcess peer;
        // Started before this side listens: its own announcement is not heard here.
        QVERIFY(startPeer(peer, config.path(), fingerprint, port));

        DiscoveryService service;
        service.start(4321);
        QSignalSpy reports(&service, &DiscoveryService::newHost);
        DeviceList list(&service);
        list.start();
        const QHostAddress first(QStringLiteral("10.77.1.2"));
        QTRY_VERIFY(list.indexOf(first) >= 0);
        QCOMPARE(list.devices().at(list.indexOf(first)).fingerprint, fingerprint);
        // Kept with the port it answered from.
        QCOMPARE(PairedDevices::findByFingerprint(fingerprint)->lastAddress.text(),
            QStringLiteral("10.77.1.2:%1").arg(port));

        // It moves to another address and announces itself once there.
        peer.terminate();
        QVERIFY(peer.waitForFinished());
        QVERIFY(inPeer({ QStringLiteral("addr"), QStringLiteral("del"), QStringLiteral("10.77.1.2/24"),
            QStringLiteral("dev"), QStringLiteral("eth0") }));
        QVERIFY(inPeer({ QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.77.1.3/24"),
            QStringLiteral("dev"), QStringLiteral("eth0") }));
        QVERIFY(startPeer(peer, config.path(), fingerprint, port));
        QTRY_COMPARE(PairedDevices::findByFingerprint(fingerprint)->lastAddress.text(),
            QStringLiteral("10.77.1.3:%1").arg(port));
        // From then on it is asked there: its answers keep coming although no broadcast reaches it.
        const QHostAddress moved(QStringLiteral("10.77.1.3"));
        QTRY_VERIFY_WITH_TIMEOUT(reportsFrom(reports, moved) >= 3, 4 * DeviceList::requestIntervalMs);
        QVERIFY(list.indexOf(moved) >= 0);
        peer.terminate();
        peer.waitForFinished();
    }
};

ORVEX_TEST_MAIN(TestPairedAddress)
#include "tst_pairedaddress.moc"
