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

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Starts the peer device in its namespace, with settings of its own, and waits until it listens.
bool startPeer(QProcess &peer, const QString &configFolder, const QString &fingerprint, quint16 port)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
    peer.setProcessEnvironment(environment);
    peer.start(QStringLiteral("ip"),
        { QStringLiteral("netns"), QStringLiteral("exec"), tag + QLatin1Char('p'), QStringLiteral(ORVEX_DISCOVERY_PEER),
            QStringLiteral("书房电脑"), fingerprint, QString::number(port) });
    return peer.waitForReadyRead(10000) && peer.readLine().trimmed() == "ready";
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
        const QString fingerprint = PairedDevices::fingerprintOf(QByteArray(PairedDevices::identityKeyBytes, 'k'));
        QVERIFY(PairedDevices::pair(QByteArray(PairedDevices::identityKeyBytes, 'k'), QStringLiteral("书房")));
        QVERIFY(PairedDevices::setLastAddress(fingerprint, KnownAddress::parse(QStringLiteral("10.77.1.2"))));
        QTemporaryDir config;
        QProcess peer;
        // Started before this side listens: its own announcement is not heard here.
        QVERIFY(startPeer(peer, config.path(), fingerprint, port));

        DiscoveryService service;
        service.start(4321);
        DeviceList list(&service);
        list.start();
        QTRY_VERIFY(list.indexOf(QHostAddress(QStringLiteral("10.77.1.2"))) >= 0);
        QCOMPARE(list.devices().first().fingerprint, fingerprint);

        // It moves, and announces itself once there.
        peer.terminate();
        QVERIFY(peer.waitForFinished());
        QVERIFY(run(QStringLiteral("sh"),
            { QStringLiteral("-c"),
                QStringLiteral("ip -n %1p addr flush dev eth0 && ip -n %1p addr add 10.77.1.3/24 dev eth0")
                    .arg(tag) }));
        QSignalSpy reports(&service, &DiscoveryService::newHost);
        QVERIFY(startPeer(peer, config.path(), fingerprint, port));
        QTRY_COMPARE(PairedDevices::findByFingerprint(fingerprint)->lastAddress.text(),
            QStringLiteral("10.77.1.3:%1").arg(port));
        // From then on it is asked there: its answers keep coming although no broadcast reaches it.
        QTRY_VERIFY_WITH_TIMEOUT(reports.count() >= 3, 4 * DeviceList::requestIntervalMs);
        QVERIFY(list.indexOf(QHostAddress(QStringLiteral("10.77.1.3"))) >= 0);
        peer.terminate();
        peer.waitForFinished();
    }
};

ORVEX_TEST_MAIN(TestPairedAddress)
#include "tst_pairedaddress.moc"
