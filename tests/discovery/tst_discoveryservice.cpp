#include "core/paireddevices.h"
#include "core/settings.h"
#include "core/transferfeatures.h"
#include "discovery/discoveryservice.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QNetworkDatagram>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QUdpSocket>

Q_DECLARE_METATYPE(QHostAddress)

using testsupport::freeUdpPort;

namespace {

// Loopback addresses other than 127.0.0.1 are not interface addresses, so a socket bound to one
// stands in for a peer on the network: its datagrams are not dropped as our own.
const QHostAddress peerAddress(QStringLiteral("127.0.0.2"));

QByteArray hostInfo(const QString &name, int port)
{
    return QStringLiteral("{\"device_name\":\"%1\",\"device_type\":\"%2\",\"features\":[\"%3\"],"
                          "\"port\":%4,\"request\":false}")
        .arg(name, QSysInfo::productType(), TransferFeatures::supported().join(QStringLiteral("\",\"")))
        .arg(port)
        .toUtf8();
}

QList<QByteArray> drain(QUdpSocket &socket)
{
    QList<QByteArray> payloads;
    while (socket.hasPendingDatagrams())
        payloads.append(socket.receiveDatagram().data());
    return payloads;
}

} // namespace

class TestDiscoveryService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QHostAddress>(); }

    void init()
    {
        discoveryPort = freeUdpPort();
        QVERIFY(discoveryPort != 0);
        Settings::setDiscoveryPort(discoveryPort);
        Settings::setDeviceName(QStringLiteral("书房电脑"));
        Settings::setDiscoverable(true);
    }

    void broadcastsRequestAndLeaveAsExactBytes()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::AnyIPv4, discoveryPort));
        DiscoveryService service;

        service.broadcastReq();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        QCOMPARE(listener.receiveDatagram().data(), QByteArray("{\"request\":true}"));

        drain(listener);
        service.leave();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        QCOMPARE(listener.receiveDatagram().data(), hostInfo(QStringLiteral("书房电脑"), 0));
    }

    void warnsWhenPortTakenAndStillAnnounces()
    {
        QUdpSocket blocker;
        QVERIFY(blocker.bind(QHostAddress::AnyIPv4, discoveryPort, QUdpSocket::DontShareAddress));
        DiscoveryService service;
        QSignalSpy errors(&service, &DiscoveryService::error);
        service.start(4321);

        QCOMPARE(errors.count(), 1);
        // The holder is named, here this test itself.
        const QString message = errors.at(0).at(0).toString();
        QVERIFY2(message.startsWith(QStringLiteral("无法监听端口 %1.\n你的设备无法被发现\n").arg(discoveryPort)),
            qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("（进程 %1）").arg(QCoreApplication::applicationPid())),
            qPrintable(message));
        QTRY_VERIFY(blocker.hasPendingDatagrams());
        QCOMPARE(blocker.receiveDatagram().data(), hostInfo(QStringLiteral("书房电脑"), 4321));
    }

    void asksKnownAddressesDirectly()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));
        Settings::setKnownAddresses({ QStringLiteral("127.0.0.2:%1").arg(peer.localPort()), QStringLiteral("studio") });
        DiscoveryService service;
        QSignalSpy hosts(&service, &DiscoveryService::newHost);
        service.start(4321);
        service.broadcastReq();
        QList<QByteArray> received;
        QTRY_VERIFY((received += drain(peer)).size() >= 2);
        QCOMPARE(received, (QList<QByteArray> { "{\"request\":true}", hostInfo(QStringLiteral("书房电脑"), 4321) }));

        // Its answer lists it like any other.
        peer.writeDatagram(hostInfo(QStringLiteral("客厅"), 5000), QHostAddress::LocalHost, discoveryPort);
        QTRY_COMPARE(hosts.count(), 1);
        QVERIFY(hosts.at(0).at(1).value<QHostAddress>().isEqual(peerAddress, QHostAddress::TolerantConversion));
        Settings::setKnownAddresses({});
    }

    void answersRequestsToTheSenderPort_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("discoverable");
        QTest::addColumn<int>("answers");
        QTest::addColumn<int>("announcedPort");

        QTest::addRow("request") << QByteArray("{\"request\":true}") << true << 1 << 4321;
        QTest::addRow("request with a port") << QByteArray("{\"port\":5,\"request\":true}") << true << 1 << 4321;
        QTest::addRow("invisible device") << QByteArray("{\"request\":true}") << false << 1 << 0;
        QTest::addRow("request as string") << QByteArray("{\"request\":\"true\"}") << true << 0 << 4321;
        QTest::addRow("request as number") << QByteArray("{\"request\":1}") << true << 0 << 4321;
        QTest::addRow("no request key") << QByteArray("{\"port\":5}") << true << 0 << 4321;
        QTest::addRow("array") << QByteArray("[true]") << true << 0 << 4321;
        QTest::addRow("not json") << QByteArray("request") << true << 0 << 4321;
        QTest::addRow("empty") << QByteArray() << true << 0 << 4321;
    }

    void answersRequestsToTheSenderPort()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, discoverable);
        QFETCH(int, answers);
        QFETCH(int, announcedPort);

        Settings::setDiscoverable(discoverable);
        DiscoveryService service;
        service.start(4321);
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));

        peer.writeDatagram(payload, QHostAddress::LocalHost, discoveryPort);
        // A plain request afterwards: its answer shows that everything before it was handled.
        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QList<QByteArray> received;
        QTRY_VERIFY((received += drain(peer)).size() >= answers + 1);
        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY((received += drain(peer)).size() >= answers + 2);

        QCOMPARE(received.size(), answers + 2);
        for (const QByteArray &answer : qAsConst(received))
            QCOMPARE(answer, hostInfo(QStringLiteral("书房电脑"), announcedPort));
    }

    void changedNameIsUsedByTheNextDatagram()
    {
        DiscoveryService service;
        service.start(4321);
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));

        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), hostInfo(QStringLiteral("书房电脑"), 4321));

        Settings::setDeviceName(QStringLiteral("客厅"));
        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), hostInfo(QStringLiteral("客厅"), 4321));
    }

    void reportsHostInformation_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("ports");

        QTest::addRow("host information")
            << QByteArray("{\"device_name\":\"笔记本\",\"device_type\":\"debian\",\"port\":5000,\"request\":false}")
            << QStringList { QStringLiteral("笔记本") } << QList<int> { 5000 };
        QTest::addRow("host information with features")
            << QByteArray("{\"device_name\":\"笔记本\",\"device_type\":\"debian\",\"features\":[\"list\",\"x\"],"
                          "\"port\":5000,\"request\":false}")
            << QStringList { QStringLiteral("笔记本") } << QList<int> { 5000 };
        QTest::addRow("leave") << QByteArray("{\"device_name\":\"笔记本\",\"port\":0,\"request\":false}")
                               << QStringList { QStringLiteral("笔记本") } << QList<int> { 0 };
        QTest::addRow("fractional port") << QByteArray("{\"device_name\":\"a\",\"port\":5000.5,\"request\":false}")
                                         << QStringList { QStringLiteral("a") } << QList<int> { 0 };
        QTest::addRow("port above 16 bits") << QByteArray("{\"device_name\":\"a\",\"port\":70000,\"request\":false}")
                                            << QStringList { QStringLiteral("a") } << QList<int> { 70000 & 0xffff };
        QTest::addRow("huge port") << QByteArray("{\"device_name\":\"a\",\"port\":1e300,\"request\":false}")
                                   << QStringList { QStringLiteral("a") } << QList<int> { 0 };
        QTest::addRow("port as string") << QByteArray("{\"device_name\":\"a\",\"port\":\"5000\",\"request\":false}")
                                        << QStringList() << QList<int>();
        QTest::addRow("no port") << QByteArray("{\"device_name\":\"a\",\"request\":false}") << QStringList()
                                 << QList<int>();
        QTest::addRow("name as number") << QByteArray("{\"device_name\":7,\"port\":5000,\"request\":false}")
                                        << QStringList() << QList<int>();
        QTest::addRow("request as string") << QByteArray("{\"device_name\":\"a\",\"port\":5000,\"request\":\"false\"}")
                                           << QStringList() << QList<int>();
    }

    void reportsHostInformation()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, names);
        QFETCH(QList<int>, ports);

        DiscoveryService service;
        service.start(4321);
        QSignalSpy spy(&service, &DiscoveryService::newHost);
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));

        peer.writeDatagram(payload, QHostAddress::LocalHost, discoveryPort);
        peer.writeDatagram(hostInfo(QStringLiteral("last"), 1), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY(!spy.isEmpty() && spy.last().at(0).toString() == QStringLiteral("last"));

        spy.removeLast();
        QStringList gotNames;
        QList<int> gotPorts;
        for (const QList<QVariant> &arguments : qAsConst(spy)) {
            gotNames.append(arguments.at(0).toString());
            gotPorts.append(arguments.at(2).value<ushort>());
            QVERIFY(arguments.at(1).value<QHostAddress>().isEqual(peerAddress, QHostAddress::TolerantConversion));
        }
        QCOMPARE(gotNames, names);
        QCOMPARE(gotPorts, ports);
    }

    void announcesAndReadsTheFingerprint_data()
    {
        QTest::addColumn<QString>("fingerprint");
        QTest::addColumn<bool>("valid");
        QTest::addRow("valid") << "0123456789abcdef" << true;
        QTest::addRow("upper case") << "0123456789ABCDEF" << false;
        QTest::addRow("too short") << "0123456789abcde" << false;
        QTest::addRow("not hex") << "0123456789abcdeg" << false;
    }

    void announcesAndReadsTheFingerprint()
    {
        QFETCH(QString, fingerprint);
        QFETCH(bool, valid);
        DiscoveryService service;
        service.setFingerprint(fingerprint);
        service.start(4321);
        QSignalSpy hosts(&service, &DiscoveryService::newHost);
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));

        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QByteArray expected = hostInfo(QStringLiteral("书房电脑"), 4321);
        // Keys in sorted order: the fingerprint goes after "features".
        if (valid)
            expected.replace("],\"port\"", "],\"fingerprint\":\"" + fingerprint.toLatin1() + "\",\"port\"");
        QCOMPARE(peer.receiveDatagram().data(), expected);

        peer.writeDatagram(
            "{\"device_name\":\"a\",\"fingerprint\":\"" + fingerprint.toLatin1() + "\",\"port\":1,\"request\":false}",
            QHostAddress::LocalHost, discoveryPort);
        QTRY_COMPARE(hosts.count(), 1);
        QCOMPARE(hosts.at(0).at(3).toString(), valid ? fingerprint : QString());
        QCOMPARE(hosts.at(0).at(4).value<ushort>(), peer.localPort());
    }

    void asksPairedDevicesAtTheirLastAddressOncePerInterval()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));
        const QByteArray key(PairedDevices::identityKeyBytes, 'p');
        QVERIFY(PairedDevices::pair(key, QStringLiteral("书房")));
        QVERIFY(PairedDevices::setLastAddress(PairedDevices::fingerprintOf(key), { peerAddress, peer.localPort() }));
        DiscoveryService service;
        service.start(4321);

        service.broadcastReq();
        // Asked again at once: no second round. The explicit probe after it marks the end.
        service.broadcastReq();
        service.probe(peerAddress, peer.localPort());
        const QList<QByteArray> round { "{\"request\":true}", hostInfo(QStringLiteral("书房电脑"), 4321) };
        QList<QByteArray> received;
        QTRY_VERIFY((received += drain(peer)).size() >= 4);
        QCOMPARE(received, round + round);
        QSettings().remove(QStringLiteral("pairedDevices"));
    }

    void dropsOwnDatagrams()
    {
        DiscoveryService service;
        service.start(4321);
        QSignalSpy spy(&service, &DiscoveryService::newHost);
        QUdpSocket own;
        QVERIFY(own.bind(QHostAddress::LocalHost, 0));
        QUdpSocket peer;
        QVERIFY(peer.bind(peerAddress, 0));

        // Our own broadcast, and datagrams from this machine's own address.
        service.leave();
        own.writeDatagram(hostInfo(QStringLiteral("self"), 80), QHostAddress::LocalHost, discoveryPort);
        own.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        peer.writeDatagram(QByteArray("{\"request\":true}"), QHostAddress::LocalHost, discoveryPort);
        QTRY_VERIFY(peer.hasPendingDatagrams());

        QVERIFY(spy.isEmpty());
        QVERIFY(!own.hasPendingDatagrams());
    }

    void localSendersAreDroppedWhateverTheirForm_data()
    {
        QTest::addColumn<QHostAddress>("sender");
        QTest::addColumn<bool>("reported");

        QTest::addRow("loopback") << QHostAddress(QStringLiteral("127.0.0.1")) << false;
        QTest::addRow("IPv4-mapped loopback") << QHostAddress(QStringLiteral("::ffff:127.0.0.1")) << false;
        QTest::addRow("unspecified") << QHostAddress(QStringLiteral("0.0.0.0")) << false;
        QTest::addRow("IPv4-mapped unspecified") << QHostAddress(QStringLiteral("::ffff:0.0.0.0")) << false;
        QTest::addRow("other loopback address") << QHostAddress(QStringLiteral("127.0.0.2")) << true;
        QTest::addRow("LAN peer") << QHostAddress(QStringLiteral("198.18.0.7")) << true;
        QTest::addRow("IPv4-mapped LAN peer") << QHostAddress(QStringLiteral("::ffff:198.18.0.7")) << true;
    }

    void localSendersAreDroppedWhateverTheirForm()
    {
        QFETCH(QHostAddress, sender);
        QFETCH(bool, reported);

        DiscoveryService service;
        QSignalSpy spy(&service, &DiscoveryService::newHost);
        service.handleDatagram(hostInfo(QStringLiteral("peer"), 5000), sender, 40000);

        QCOMPARE(spy.size(), reported ? 1 : 0);
        if (reported)
            QCOMPARE(spy.first().at(1).value<QHostAddress>(), sender);
    }

private:
    quint16 discoveryPort = 0;
};

ORVEX_TEST_MAIN(TestDiscoveryService)
#include "tst_discoveryservice.moc"
