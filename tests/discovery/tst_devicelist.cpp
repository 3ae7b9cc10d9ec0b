#include "core/paireddevices.h"
#include "core/settings.h"
#include "discovery/devicelist.h"
#include "discovery/discoveryservice.h"
#include "tests/support/testmain.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSettings>
#include <QTest>
#include <QUdpSocket>

namespace {

// Reports and devices read "name@address:port", events "added name@address:port".
void report(DeviceList &list, const QString &text)
{
    const int at = text.indexOf(QLatin1Char('@'));
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    list.handleNewHost(text.left(at), QHostAddress(text.mid(at + 1, colon - at - 1)),
        static_cast<ushort>(text.mid(colon + 1).toUInt()));
}

QString deviceText(const DeviceInfo &device)
{
    return QStringLiteral("%1@%2:%3").arg(device.deviceName, device.ip).arg(device.port);
}

QStringList deviceTexts(const DeviceList &list)
{
    QStringList texts;
    for (const DeviceInfo &device : list.devices())
        texts.append(deviceText(device));
    return texts;
}

// Every signal of list, in order, into events.
void recordEvents(DeviceList &list, QStringList *events)
{
    QObject::connect(&list, &DeviceList::deviceAdded, &list,
        [events](const DeviceInfo &device) { events->append(QStringLiteral("added ") + deviceText(device)); });
    QObject::connect(&list, &DeviceList::deviceChanged, &list,
        [events](const DeviceInfo &device) { events->append(QStringLiteral("changed ") + deviceText(device)); });
    QObject::connect(&list, &DeviceList::deviceRemoved, &list,
        [events](const DeviceInfo &device) { events->append(QStringLiteral("removed ") + deviceText(device)); });
}

} // namespace

class TestDeviceList : public QObject
{
    Q_OBJECT

private slots:
    void followsReports_data()
    {
        QTest::addColumn<QStringList>("reports");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("devices");
        QTest::addRow("added in the order first reported")
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("乙@192.0.2.2:5002") }
            << QStringList { QStringLiteral("added 甲@192.0.2.1:5001"), QStringLiteral("added 乙@192.0.2.2:5002") }
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("乙@192.0.2.2:5002") };
        QTest::addRow("repeated report changes nothing")
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("甲@192.0.2.1:5001") }
            << QStringList { QStringLiteral("added 甲@192.0.2.1:5001") }
            << QStringList { QStringLiteral("甲@192.0.2.1:5001") };
        QTest::addRow("rename and new port in place")
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("乙@192.0.2.2:5002"),
                   QStringLiteral("新名字@192.0.2.1:6000") }
            << QStringList { QStringLiteral("added 甲@192.0.2.1:5001"), QStringLiteral("added 乙@192.0.2.2:5002"),
                   QStringLiteral("changed 新名字@192.0.2.1:6000") }
            << QStringList { QStringLiteral("新名字@192.0.2.1:6000"), QStringLiteral("乙@192.0.2.2:5002") };
        QTest::addRow("port 0 removes, comes back last")
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("乙@192.0.2.2:5002"),
                   QStringLiteral("甲@192.0.2.1:0"), QStringLiteral("甲@192.0.2.1:5001") }
            << QStringList { QStringLiteral("added 甲@192.0.2.1:5001"), QStringLiteral("added 乙@192.0.2.2:5002"),
                   QStringLiteral("removed 甲@192.0.2.1:5001"), QStringLiteral("added 甲@192.0.2.1:5001") }
            << QStringList { QStringLiteral("乙@192.0.2.2:5002"), QStringLiteral("甲@192.0.2.1:5001") };
        QTest::addRow("unknown device leaving")
            << QStringList { QStringLiteral("甲@192.0.2.1:5001"), QStringLiteral("丙@192.0.2.3:0") }
            << QStringList { QStringLiteral("added 甲@192.0.2.1:5001") }
            << QStringList { QStringLiteral("甲@192.0.2.1:5001") };
        QTest::addRow("mapped address is its IPv4 form")
            << QStringList { QStringLiteral("甲@::ffff:192.0.2.9:5001"), QStringLiteral("甲2@192.0.2.9:5009") }
            << QStringList { QStringLiteral("added 甲@192.0.2.9:5001"), QStringLiteral("changed 甲2@192.0.2.9:5009") }
            << QStringList { QStringLiteral("甲2@192.0.2.9:5009") };
    }

    void followsReports()
    {
        QFETCH(QStringList, reports);
        QFETCH(QStringList, events);
        QFETCH(QStringList, devices);
        QStringList seen;
        DeviceList list;
        recordEvents(list, &seen);
        for (const QString &text : qAsConst(reports))
            report(list, text);
        QCOMPARE(seen, events);
        QCOMPARE(deviceTexts(list), devices);
    }

    void returningDeviceGetsANewId()
    {
        DeviceList list;
        report(list, QStringLiteral("甲@192.0.2.1:5001"));
        report(list, QStringLiteral("乙@192.0.2.2:5002"));
        const quint64 first = list.idAt(0);
        report(list, QStringLiteral("甲@192.0.2.1:6001"));
        QCOMPARE(list.idAt(0), first);
        report(list, QStringLiteral("甲@192.0.2.1:0"));
        report(list, QStringLiteral("甲@192.0.2.1:5001"));
        QCOMPARE(list.indexOf(QHostAddress(QStringLiteral("::ffff:192.0.2.1"))), 1);
        QVERIFY(list.idAt(1) != first);
        QVERIFY(list.idAt(1) != list.idAt(0));
    }

    void silentDevicesExpire()
    {
        constexpr int silenceLimitMs = 300;
        QStringList seen;
        DeviceList list;
        list.setSilenceLimit(silenceLimitMs);
        recordEvents(list, &seen);
        QElapsedTimer sinceLastHeard;
        sinceLastHeard.start();
        report(list, QStringLiteral("甲@192.0.2.1:5001"));
        // 乙 keeps answering, 甲 has gone quiet.
        QTimer answers;
        connect(&answers, &QTimer::timeout, &list, [&list] { report(list, QStringLiteral("乙@192.0.2.2:5002")); });
        answers.start(50);
        report(list, QStringLiteral("乙@192.0.2.2:5002"));

        QTRY_COMPARE(deviceTexts(list), QStringList { QStringLiteral("乙@192.0.2.2:5002") });
        QVERIFY(sinceLastHeard.elapsed() >= silenceLimitMs);
        answers.stop();
        QTRY_VERIFY(list.devices().isEmpty());
        QCOMPARE(seen,
            (QStringList { QStringLiteral("added 甲@192.0.2.1:5001"), QStringLiteral("added 乙@192.0.2.2:5002"),
                QStringLiteral("removed 甲@192.0.2.1:5001"), QStringLiteral("removed 乙@192.0.2.2:5002") }));
    }

    void keepsWhereAPairedDeviceIsSeen()
    {
        const QByteArray key(PairedDevices::identityKeyBytes, 'k');
        QVERIFY(PairedDevices::pair(key, QStringLiteral("书房")));
        const QString paired = PairedDevices::fingerprintOf(key);
        const QString other = PairedDevices::fingerprintOf(QByteArray(PairedDevices::identityKeyBytes, 'o'));
        QStringList seen;
        DeviceList list;
        recordEvents(list, &seen);

        // The paired device's name with another fingerprint moves nothing.
        list.handleNewHost(QStringLiteral("书房"), QHostAddress(QStringLiteral("192.0.2.1")), 5000, other, 6000);
        QVERIFY(!PairedDevices::find(key)->lastAddress.isValid());
        list.handleNewHost(
            QStringLiteral("书房"), QHostAddress(QStringLiteral("::ffff:192.0.2.5")), 5000, paired, 6000);
        QCOMPARE(PairedDevices::find(key)->lastAddress.text(), QStringLiteral("192.0.2.5:6000"));
        // Another fingerprint from the same address: the device has changed.
        list.handleNewHost(QStringLiteral("书房"), QHostAddress(QStringLiteral("192.0.2.1")), 5000, paired, 6000);
        QCOMPARE(seen.last(), QStringLiteral("changed 书房@192.0.2.1:5000"));
        QCOMPARE(list.devices().first().fingerprint, paired);
        QCOMPARE(PairedDevices::find(key)->lastAddress.text(), QStringLiteral("192.0.2.1:6000"));
        QSettings().remove(QStringLiteral("pairedDevices"));
    }

    void asksAtOnceAndFollowsItsService()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        Settings::setKnownAddresses({ QStringLiteral("127.0.0.2:%1").arg(listener.localPort()) });
        DiscoveryService service;
        DeviceList list(&service);

        list.start();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        const QNetworkDatagram asked = listener.receiveDatagram();
        QCOMPARE(asked.data(), QByteArray("{\"request\":true}"));
        listener.writeDatagram(QByteArray("{\"device_name\":\"甲\",\"port\":5001,\"request\":false}"),
            asked.senderAddress(), static_cast<quint16>(asked.senderPort()));
        QTRY_COMPARE(deviceTexts(list), QStringList { QStringLiteral("甲@127.0.0.2:5001") });
        Settings::setKnownAddresses({});
    }

    void findsDevicesByName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QStringList>("suggested");
        const QStringList some { QStringLiteral("Study"), QStringLiteral("Kitchen"), QStringLiteral("书房") };
        QTest::addRow("exact") << some << QStringLiteral("Study") << QStringLiteral("Study") << QStringList();
        QTest::addRow("other case") << some << QStringLiteral("study") << QStringLiteral("Study") << QStringList();
        QTest::addRow("case leaves two") << QStringList { QStringLiteral("Study"), QStringLiteral("STUDY") }
                                         << QStringLiteral("study") << QString()
                                         << QStringList { QStringLiteral("Study"), QStringLiteral("STUDY") };
        QTest::addRow("exact among case twins") << QStringList { QStringLiteral("Study"), QStringLiteral("STUDY") }
                                                << QStringLiteral("STUDY") << QStringLiteral("STUDY") << QStringList();
        QTest::addRow("typing error") << some << QStringLiteral("Stduy") << QString()
                                      << QStringList { QStringLiteral("Study") };
        QTest::addRow("nothing close") << some << QStringLiteral("Garage") << QString() << QStringList();
    }

    void findsDevicesByName()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, wanted);
        QFETCH(QString, found);
        QFETCH(QStringList, suggested);
        QVector<DeviceInfo> devices;
        for (const QString &name : names)
            devices.append(DeviceInfo { name, QStringLiteral("192.0.2.1"), 1, QHostAddress(), QString() });
        const DeviceInfo *match = DeviceList::byName(devices, wanted);
        QCOMPARE(match ? match->deviceName : QString(), found);
        if (!match)
            QCOMPARE(DeviceList::similarNames(devices, wanted), suggested);
    }
};

ORVEX_TEST_MAIN(TestDeviceList)
#include "tst_devicelist.moc"
