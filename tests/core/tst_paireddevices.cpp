#include "core/paireddevices.h"
#include "tests/support/testmain.h"

#include <QSettings>

class TestPairedDevices : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }

    void pairsByKeyAndKeepsChoicesOnRepair()
    {
        const QByteArray key(32, 'k');
        QVERIFY(!PairedDevices::pair(QByteArray(31, 'k'), QStringLiteral("short")));
        QVERIFY(PairedDevices::pair(key, QStringLiteral("书房")));
        const QString fingerprint = PairedDevices::fingerprintOf(key);
        QCOMPARE(fingerprint.size(), 16);
        QVERIFY(PairedDevices::setAutoAccept(fingerprint, true));
        QVERIFY(PairedDevices::setLastAddress(fingerprint, KnownAddress::parse(QStringLiteral("10.0.0.7:52637"))));

        // Pairing again after a new comparison keeps one entry and the user's choices.
        QVERIFY(PairedDevices::pair(key, QString()));
        const QVector<PairedDevice> all = PairedDevices::all();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all.first().name, QStringLiteral("书房"));
        QVERIFY(all.first().autoAccept);
        QCOMPARE(all.first().lastAddress.text(), QStringLiteral("10.0.0.7:52637"));
        QVERIFY(PairedDevices::isPairedName(QStringLiteral(" 书房 ")));
        QVERIFY(!PairedDevices::find(QByteArray(32, 'x')));

        QVERIFY(PairedDevices::unpair(fingerprint));
        QVERIFY(!PairedDevices::find(key));
        QVERIFY(!PairedDevices::setAutoAccept(fingerprint, true));
        QVERIFY(!PairedDevices::isPairedName(QStringLiteral("书房")));
    }

    void damagedEntriesPairNothing()
    {
        QVariantMap entry;
        entry.insert(QStringLiteral("key"), QStringLiteral("bm90IGEga2V5"));
        entry.insert(QStringLiteral("name"), QStringLiteral("x"));
        QSettings().setValue(QStringLiteral("pairedDevices"), QVariantList { entry, QStringLiteral("junk") });
        QVERIFY(PairedDevices::all().isEmpty());
        QVERIFY(!PairedDevices::isPairedName(QStringLiteral("x")));
    }

    void keepsAtMostTheLimit()
    {
        for (int i = 0; i <= PairedDevices::maxPairedDevices; ++i)
            PairedDevices::pair(QByteArray(31, 'a') + char(i), QString::number(i));
        const QVector<PairedDevice> all = PairedDevices::all();
        QCOMPARE(all.size(), PairedDevices::maxPairedDevices);
        QCOMPARE(all.first().name, QStringLiteral("1"));
    }
};

ORVEX_TEST_MAIN(TestPairedDevices)
#include "tst_paireddevices.moc"
