#include "core/knownaddress.h"
#include "core/localipv4addresses.h"
#include "core/portholder.h"
#include "tests/support/testmain.h"

#include <QTcpServer>
#include <QUdpSocket>

Q_DECLARE_METATYPE(LocalAddress)

namespace {

LocalAddress entry(const QString &interfaceName, const QString &address, bool pointToPoint = false)
{
    LocalAddress local;
    local.interfaceName = interfaceName;
    local.address = address;
    local.pointToPoint = pointToPoint;
    return local;
}

} // namespace

class TestLocalAddresses : public QObject
{
    Q_OBJECT

private slots:
    void ranksReachableAddressesFirst_data()
    {
        QTest::addColumn<QVector<LocalAddress>>("addresses");
        QTest::addColumn<QString>("routeInterface");
        QTest::addColumn<QStringList>("ranked");
        QTest::addRow("docker bridge listed first")
            << QVector<LocalAddress> { entry("docker0", "172.17.0.1"), entry("wlan0", "192.168.1.23") } << "wlan0"
            << QStringList { "192.168.1.23", "172.17.0.1" };
        QTest::addRow("default route beats another card") << QVector<LocalAddress> { entry("eth0", "10.0.0.5"),
            entry("wlan0", "192.168.1.23") } << "wlan0" << QStringList { "192.168.1.23", "10.0.0.5" };
        QTest::addRow("tunnels, bridges and link-local last, in their order")
            << QVector<LocalAddress> { entry("169", "169.254.3.4"), entry("wg0", "10.8.0.2"),
                   entry("ppp0", "10.64.0.9", true), entry("virbr0", "192.168.122.1"), entry("br-1a2b", "172.18.0.1"),
                   entry("enp3s0", "192.168.1.40") }
            << "wg0"
            << QStringList { "192.168.1.40", "10.8.0.2", "10.64.0.9", "192.168.122.1", "172.18.0.1", "169.254.3.4" };
        QTest::addRow("no default route keeps the order")
            << QVector<LocalAddress> { entry("eth1", "10.0.1.1"), entry("eth0", "10.0.0.1"), entry("tun0", "10.9.0.1") }
            << "" << QStringList { "10.0.1.1", "10.0.0.1", "10.9.0.1" };
    }

    void ranksReachableAddressesFirst()
    {
        QFETCH(QVector<LocalAddress>, addresses);
        QFETCH(QString, routeInterface);
        QFETCH(QStringList, ranked);
        QStringList texts;
        for (const LocalAddress &local : rankAddresses(addresses, routeInterface))
            texts.append(local.address);
        QCOMPARE(texts, ranked);
    }

    void findsDefaultRouteInterface_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("interfaceName");
        const QByteArray header
            = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
        QTest::addRow("lowest metric") << header
                + "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                  "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                  "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
                                       << "eth0";
        QTest::addRow("none") << header + "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
                              << "";
        QTest::addRow("empty") << QByteArray() << "";
    }

    void findsDefaultRouteInterface()
    {
        QFETCH(QByteArray, table);
        QFETCH(QString, interfaceName);
        QCOMPARE(defaultRouteInterface(table), interfaceName);
    }

    void parsesKnownAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addRow("plain") << " 192.168.2.7 "
                               << "192.168.2.7" << 0;
        QTest::addRow("with port") << "192.168.2.7:40000"
                                   << "192.168.2.7" << 40000;
        QTest::addRow("IPv6") << "fd00::7"
                              << "fd00::7" << 0;
        QTest::addRow("IPv6 with port") << "[fd00::7]:52637"
                                        << "fd00::7" << 52637;
        QTest::addRow("port too large") << "192.168.2.7:65536"
                                        << "" << 0;
        QTest::addRow("empty port") << "192.168.2.7:"
                                    << "" << 0;
        QTest::addRow("name") << "studio.local"
                              << "" << 0;
        QTest::addRow("broadcast") << "255.255.255.255"
                                   << "" << 0;
        QTest::addRow("multicast") << "224.0.0.1"
                                   << "" << 0;
        QTest::addRow("unspecified") << "0.0.0.0"
                                     << "" << 0;
    }

    void parsesKnownAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        const KnownAddress known = KnownAddress::parse(text);
        QCOMPARE(known.isValid() ? known.address.toString() : QString(), address);
        QCOMPARE(int(known.port), port);
        if (known.isValid())
            QCOMPARE(KnownAddress::parse(known.text()).text(), known.text());
    }

    void namesTheProcessHoldingAPort()
    {
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::LocalHost));
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::AnyIPv4, 0));
        for (const auto &[protocol, port] : { std::make_pair(PortHolder::Protocol::Tcp, tcp.serverPort()),
                 std::make_pair(PortHolder::Protocol::Udp, udp.localPort()) }) {
            const PortHolder holder = PortHolder::find(protocol, port);
            QVERIFY(holder.found);
            QCOMPARE(holder.pid, QCoreApplication::applicationPid());
            QCOMPARE(holder.program, QStringLiteral("tst_core_locala").left(holder.program.size()));
        }
        const quint16 freed = tcp.serverPort();
        tcp.close();
        QVERIFY(!PortHolder::find(PortHolder::Protocol::Tcp, freed).found);
    }
};

ORVEX_TEST_MAIN(TestLocalAddresses)
#include "tst_localaddresses.moc"
