#include "discovery/networkdiagnosis.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUdpSocket>

namespace {

using Kind = NetworkDiagnosis::Kind;
using Verdict = NetworkDiagnosis::Verdict;

// Another program on this machine that binds the discovery port and, like a running Orvex,
// answers requests on it with a transfer port.
const char *fakeOrvex = R"(
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", int(sys.argv[1])))
print("ready", flush=True)
while True:
    data, sender = s.recvfrom(2048)
    s.sendto(b'{"request":false,"deviceName":"fake","port":%d}' % int(sys.argv[2]), sender)
)";

NetworkDiagnosis::Finding findingOf(const NetworkDiagnosis &diagnosis, Kind kind)
{
    for (const NetworkDiagnosis::Finding &finding : diagnosis.findings()) {
        if (finding.kind == kind)
            return finding;
    }
    return {};
}

} // namespace

class TestNetworkDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void judgesPorts_data()
    {
        QTest::addColumn<QString>("holder");
        QTest::addColumn<int>("discoveryKind");
        QTest::addColumn<int>("transferKind");
        QTest::addColumn<int>("webKind");
        QTest::addRow("nothing runs") << "none" << int(Kind::DiscoveryPortFree) << int(Kind::TransferPortUnknown)
                                      << int(Kind::WebPortFree);
        QTest::addRow("this program holds them")
            << "self" << int(Kind::DiscoveryPortHeld) << int(Kind::TransferPortUnknown) << int(Kind::WebPortHeld);
        QTest::addRow("this program with its transfer server")
            << "self, server" << int(Kind::DiscoveryPortHeld) << int(Kind::TransferPortListening)
            << int(Kind::WebPortHeld);
        QTest::addRow("another program answers, transfer port closed")
            << "other" << int(Kind::DiscoveryPortAnswered) << int(Kind::TransferPortClosed) << int(Kind::WebPortFree);
    }

    void judgesPorts()
    {
        QFETCH(QString, holder);
        QFETCH(int, discoveryKind);
        QFETCH(int, transferKind);
        QFETCH(int, webKind);
        NetworkDiagnosis::Options options;
        options.discoveryPort = testsupport::freeUdpPort();
        options.webPort = testsupport::freeTcpPort();
        options.waitMs = 10;
        QUdpSocket discoverySocket;
        QTcpServer web;
        QTcpServer transferServer;
        QProcess other;
        if (holder.startsWith(QLatin1String("self"))) {
            QVERIFY(discoverySocket.bind(QHostAddress::Any, options.discoveryPort));
            QVERIFY(web.listen(QHostAddress::Any, options.webPort));
        }
        if (holder.endsWith(QLatin1String("server"))) {
            QVERIFY(transferServer.listen(QHostAddress::Any));
            options.transferPort = transferServer.serverPort();
        } else if (holder == QLatin1String("other")) {
            // A transfer port that nothing listens on.
            const quint16 closedPort = testsupport::freeTcpPort();
            other.start(QStringLiteral("python3"),
                { QStringLiteral("-c"), QString::fromLatin1(fakeOrvex), QString::number(options.discoveryPort),
                    QString::number(closedPort) });
            QVERIFY(other.waitForReadyRead(5000));
        }
        NetworkDiagnosis diagnosis(options);
        QSignalSpy finished(&diagnosis, &NetworkDiagnosis::finished);
        diagnosis.start();
        QVERIFY(finished.wait());
        other.kill();
        other.waitForFinished();

        const NetworkDiagnosis::Finding discovered = findingOf(diagnosis, Kind(discoveryKind));
        QCOMPARE(int(discovered.kind), discoveryKind);
        QCOMPARE(discovered.port, options.discoveryPort);
        if (holder == QLatin1String("other"))
            QCOMPARE(discovered.holder.program, QStringLiteral("python3"));
        if (holder.startsWith(QLatin1String("self")))
            QCOMPARE(discovered.holder.pid, QCoreApplication::applicationPid());
        const NetworkDiagnosis::Finding transfer = findingOf(diagnosis, Kind(transferKind));
        QCOMPARE(int(transfer.kind), transferKind);
        QCOMPARE(transfer.verdict == Verdict::Problem, transfer.kind == Kind::TransferPortClosed);
        if (options.transferPort != 0)
            QCOMPARE(transfer.port, options.transferPort);
        QCOMPARE(findingOf(diagnosis, Kind(webKind)).port, options.webPort);
        // Loopback alone: no address for a phone, and nobody answers.
        QCOMPARE(int(findingOf(diagnosis, Kind::NoAddress).verdict), int(Verdict::Problem));
        QCOMPARE(int(diagnosis.findings().constLast().kind), int(Kind::NoDevice));
    }

    void reportsSilentAddresses()
    {
        NetworkDiagnosis::Options options;
        options.discoveryPort = testsupport::freeUdpPort();
        options.addresses = { KnownAddress::parse(QStringLiteral("127.0.0.9:9")) };
        options.waitMs = 10;
        NetworkDiagnosis diagnosis(options);
        QSignalSpy finished(&diagnosis, &NetworkDiagnosis::finished);
        diagnosis.start();
        QVERIFY(finished.wait());
        const NetworkDiagnosis::Finding silent = findingOf(diagnosis, Kind::AddressSilent);
        QCOMPARE(int(silent.verdict), int(Verdict::Problem));
        QCOMPARE(silent.known.text(), QStringLiteral("127.0.0.9:9"));
        QVERIFY(diagnosis.hasProblems());
    }
};

ORVEX_TEST_MAIN(TestNetworkDiagnosis)
#include "tst_networkdiagnosis.moc"
