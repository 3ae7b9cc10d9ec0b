#include "core/paireddevices.h"
#include "tests/cli/orvexprocess.h"
#include "tests/support/freeport.h"
#include "tests/support/testmain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <csignal>

namespace {

// The other machine: a network namespace of its own, joined to this one by a virtual cable.
// Discovery never lists the machine it runs on, so a second instance has to be elsewhere.
const QString hostSide = QStringLiteral("orvexhost");
const QString peerSide = QStringLiteral("orvexpeer");
const QString hostAddress = QStringLiteral("10.77.0.1");
const QString peerAddress = QStringLiteral("10.77.0.2");
const QString peerName = QStringLiteral("书房 电脑");
// Two request periods: the peer answers within the first or the second.
const QString waitSeconds = QStringLiteral("5");

// The namespace's shell says it runs there (so the cable's end cannot land in this namespace),
// waits for its cable, starts orvex, tells its process id, and stays after orvex has ended (so
// the cable stays) until its input closes.
const QString peerScript
    = QStringLiteral("echo inside && read cable && ip link set lo up && ip addr add %1/24 dev %2 && "
                     "ip link set %2 up && { \"$@\" & echo \"pid $!\"; wait $!; "
                     "echo \"ended $?\"; read done || true; }")
          .arg(peerAddress, peerSide);

bool runIp(const QStringList &arguments)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), arguments);
    return ip.waitForFinished() && ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
}

QStringList jsonNames(const QString &output)
{
    QStringList names;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject device = QJsonDocument::fromJson(line.toUtf8()).object();
        names.append(QStringLiteral("%1 %2").arg(
            device.value(QStringLiteral("name")).toString(), device.value(QStringLiteral("address")).toString()));
    }
    return names;
}

} // namespace

class TestDevicesCommand : public QObject
{
    Q_OBJECT

private slots:
    void probeFindsADeviceBroadcastsMiss()
    {
        // 127.0.0.2 is no interface address: a device elsewhere, which only a direct request reaches.
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        OrvexProcess devices;
        devices.run({ QStringLiteral("devices"), QStringLiteral("--json"), QStringLiteral("--wait"),
            QStringLiteral("2"), QStringLiteral("--discovery-port"), QString::number(testsupport::freeUdpPort()),
            QStringLiteral("--probe"), QStringLiteral("127.0.0.2:%1").arg(device.localPort()) });
        QTRY_VERIFY(device.hasPendingDatagrams());
        const QNetworkDatagram request = device.receiveDatagram();
        QCOMPARE(request.data(), QByteArray("{\"request\":true}"));
        // Paired under another name: the list goes by the fingerprint it announces.
        const QByteArray key(PairedDevices::identityKeyBytes, 'p');
        PairedDevices::keepStoreIn(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvex/Orvex.conf"));
        QVERIFY(PairedDevices::pair(key, QStringLiteral("书房")));
        device.writeDatagram(QStringLiteral("{\"device_name\":\"客厅\",\"fingerprint\":\"%1\",\"port\":5000,"
                                            "\"request\":false}")
                                 .arg(PairedDevices::fingerprintOf(key))
                                 .toUtf8(),
            request.senderAddress(), static_cast<quint16>(request.senderPort()));
        QCOMPARE(devices.waitForExit(), 0);
        PairedDevices::unpair(PairedDevices::fingerprintOf(key));
        QCOMPARE(jsonNames(devices.output()), QStringList { QStringLiteral("客厅 127.0.0.2") });
        QCOMPARE(QJsonDocument::fromJson(devices.output().toUtf8()).object().value(QStringLiteral("paired")),
            QJsonValue(QStringLiteral("书房")));
    }

    void followHearsAnnouncementsAndLeaves_data()
    {
        QTest::addColumn<bool>("portHeld");
        QTest::addRow("discovery port free") << false;
        QTest::addRow("discovery port held") << true;
    }

    void followHearsAnnouncementsAndLeaves()
    {
        QFETCH(bool, portHeld);
        const quint16 discoveryPort = testsupport::freeUdpPort();
        QUdpSocket holder;
        if (portHeld)
            QVERIFY(holder.bind(QHostAddress::Any, discoveryPort));
        OrvexProcess devices;
        devices.run({ QStringLiteral("devices"), QStringLiteral("--follow"), QStringLiteral("--discovery-port"),
            QString::number(discoveryPort) });
        if (portHeld) {
            QVERIFY(devices.waitForError(QStringLiteral("无法监听发现端口 %1").arg(discoveryPort)).hasMatch());
            devices.sendSignal(SIGINT);
            QCOMPARE(devices.waitForExit(), 0);
            return;
        }
        // Another machine announces itself and later leaves, both by broadcast to the port.
        QUdpSocket device;
        QVERIFY(device.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        const auto announce = [&](int port) {
            return device.writeDatagram(
                QStringLiteral("{\"device_name\":\"客厅\",\"port\":%1,\"request\":false}").arg(port).toUtf8(),
                QHostAddress::LocalHost, discoveryPort);
        };
        QTRY_VERIFY(announce(5000) > 0 && devices.output().contains(QStringLiteral("+\t客厅")));
        announce(0);
        QVERIFY(devices.waitForOutput(QStringLiteral("^-\t客厅"), 3000).hasMatch());
        devices.sendSignal(SIGINT);
        QCOMPARE(devices.waitForExit(), 0);
    }

    void findsAnotherMachineUntilItStops()
    {
        const quint16 discoveryPort = testsupport::freeUdpPort();
        const QStringList common { QStringLiteral("--discovery-port"), QString::number(discoveryPort) };
        QTemporaryDir peerDownloads;
        QTemporaryDir source;

        OrvexProcess peer;
        peer.run(QStringList { QStringLiteral("receive"), QStringLiteral("--accept"), QStringLiteral("--name"),
                     peerName, QStringLiteral("--dir"), peerDownloads.path() }
                + common,
            { QStringLiteral("unshare"), QStringLiteral("--net"), QStringLiteral("--"), QStringLiteral("sh"),
                QStringLiteral("-c"), peerScript, QStringLiteral("peer") });
        QVERIFY(peer.waitForOutput(QStringLiteral("^inside$")).hasMatch());
        QVERIFY(runIp({ QStringLiteral("link"), QStringLiteral("add"), hostSide, QStringLiteral("type"),
            QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), peerSide, QStringLiteral("netns"),
            QString::number(peer.processId()) }));
        QVERIFY(runIp({ QStringLiteral("addr"), QStringLiteral("add"), hostAddress + QStringLiteral("/24"),
            QStringLiteral("dev"), hostSide }));
        QVERIFY(runIp({ QStringLiteral("link"), QStringLiteral("set"), hostSide, QStringLiteral("up") }));
        peer.write("cable\n");
        const QRegularExpressionMatch pid = peer.waitForOutput(QStringLiteral("^pid (\\d+)$"));
        QVERIFY(pid.hasMatch());
        QVERIFY2(peer.waitForOutput(QStringLiteral("端口 \\d+")).hasMatch(), qPrintable(peer.errors()));

        OrvexProcess devices;
        devices.run(
            QStringList { QStringLiteral("devices"), QStringLiteral("--json"), QStringLiteral("--wait"), waitSeconds }
            + common);
        QCOMPARE(devices.waitForExit(), 0);
        QCOMPARE(jsonNames(devices.output()), QStringList { peerName + QLatin1Char(' ') + peerAddress });

        // A device found by its name receives what is sent to that name.
        QFile note(source.filePath(QStringLiteral("note.txt")));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.write("to the other machine");
        note.close();
        OrvexProcess sending;
        sending.run(QStringList { QStringLiteral("send"), QStringLiteral("--to"), peerName, note.fileName() } + common);
        QCOMPARE(sending.waitForExit(), 0);
        const QStringList folders = QDir(peerDownloads.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        QFile received(peerDownloads.filePath(folders.first() + QStringLiteral("/note.txt")));
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), QByteArray("to the other machine"));

        // Stopped, it is found no more, while its machine is still on the network.
        ::kill(pid.captured(1).toInt(), SIGINT);
        QVERIFY(peer.waitForOutput(QStringLiteral("^ended 0$")).hasMatch());
        OrvexProcess again;
        again.run(QStringList { QStringLiteral("devices"), QStringLiteral("--wait"), waitSeconds } + common);
        // Finding nothing is said, with a status of its own.
        QCOMPARE(again.waitForExit(), 4);
        QCOMPARE(again.output(), QString());
        QVERIFY2(again.errors().contains(QStringLiteral("未发现设备")), qPrintable(again.errors()));
        peer.closeWriteChannel();
        QCOMPARE(peer.waitForExit(), 0);
    }
};

ORVEX_TEST_MAIN(TestDevicesCommand)
#include "tst_devicescommand.moc"
