#include "tests/cli/orvexprocess.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <csignal>

namespace {

const QString peerName = QStringLiteral("远处");
// Namespaces of this run: the peer's and, for a second subnet, the router's.
const QString tag = QStringLiteral("ox%1").arg(QCoreApplication::applicationPid());

int lan(const QStringList &arguments)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral(ORVEX_LAN_SCRIPT), arguments);
    return script.waitForFinished() && script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1;
}

QStringList inPeer()
{
    return { QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), tag + QLatin1Char('p') };
}

} // namespace

// Networks where broadcasts do not reach the other device: it is found and reached by its
// address, and the diagnosis names what stops the broadcasts.
class TestLan : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { lan({ QStringLiteral("down"), tag }); }

    void deviceByAddressWhereBroadcastsFail_data()
    {
        QTest::addColumn<QString>("topology");
        QTest::addColumn<QString>("peerAddress");
        QTest::addColumn<QString>("namedRule");
        QTest::addRow("broadcast dropped by the peer's firewall") << "dropped"
                                                                  << "10.77.1.2"
                                                                  << "meta pkttype broadcast drop";
        QTest::addRow("second subnet behind a router") << "routed"
                                                       << "10.77.3.2" << QString();
    }

    void deviceByAddressWhereBroadcastsFail()
    {
        QFETCH(QString, topology);
        QFETCH(QString, peerAddress);
        QFETCH(QString, namedRule);
        QCOMPARE(lan({ QStringLiteral("up"), tag, topology }), 0);
        const QStringList common { QStringLiteral("--discovery-port"), QString::number(testsupport::freeUdpPort()) };
        QTemporaryDir peerDownloads;
        OrvexProcess peer;
        peer.run(QStringList { QStringLiteral("receive"), QStringLiteral("--accept"), QStringLiteral("--name"),
                     peerName, QStringLiteral("--dir"), peerDownloads.path() }
                + common,
            inPeer());
        QVERIFY2(peer.waitForOutput(QStringLiteral("端口 \\d+")).hasMatch(), qPrintable(peer.errors()));

        OrvexProcess broadcast;
        broadcast.run(
            QStringList { QStringLiteral("devices"), QStringLiteral("--wait"), QStringLiteral("3") } + common);
        QCOMPARE(broadcast.waitForExit(), 4);

        OrvexProcess probe;
        probe.run(QStringList { QStringLiteral("devices"), QStringLiteral("--wait"), QStringLiteral("3"),
                      QStringLiteral("--probe"), peerAddress }
            + common);
        QCOMPARE(probe.waitForExit(), 0);
        QVERIFY2(probe.output().contains(peerName + QLatin1Char('\t') + peerAddress), qPrintable(probe.output()));

        // Reached: its discovery answers the direct request and its transfer port takes a connection.
        OrvexProcess doctor;
        doctor.run(QStringList { QStringLiteral("doctor"), QStringLiteral("--wait"), QStringLiteral("3"), peerAddress }
            + common);
        doctor.waitForExit();
        QVERIFY2(doctor.output().contains(QStringLiteral("可以连接 %1 的传输端口").arg(peerAddress)),
            qPrintable(doctor.output()));

        if (!namedRule.isEmpty()) {
            OrvexProcess peerDoctor;
            peerDoctor.run(
                QStringList { QStringLiteral("doctor"), QStringLiteral("--wait"), QStringLiteral("1") } + common,
                inPeer());
            QCOMPARE(peerDoctor.waitForExit(), 1);
            QVERIFY2(peerDoctor.output().contains(QStringLiteral("[问题] nftables 规则丢弃发往 UDP")),
                qPrintable(peerDoctor.output()));
            QVERIFY2(peerDoctor.output().contains(namedRule), qPrintable(peerDoctor.output()));
        }
        peer.sendSignal(SIGINT);
        QVERIFY(peer.waitForExit() >= 0);
    }
};

ORVEX_TEST_MAIN(TestLan)
#include "tst_lan.moc"
