#include "core/settings.h"
#include "tests/support/testmain.h"

#include <QHostInfo>
#include <QSettings>
#include <QStandardPaths>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }

    void defaultsWhenStoreIsEmpty()
    {
        QCOMPARE(Settings::deviceName(), QHostInfo::localHostName());
        QCOMPARE(Settings::downloadPath(),
            QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + QStringLiteral("/Orvex"));
        QCOMPARE(Settings::discoverable(), true);
        QCOMPARE(Settings::serverPort(), quint16(0));
        QCOMPARE(Settings::discoveryPort(), quint16(52637));
        QCOMPARE(Settings::webPort(), quint16(3000));
    }

    void defaultsAreNeverWrittenBack()
    {
        Settings::deviceName();
        Settings::downloadPath();
        Settings::discoverable();
        Settings::serverPort();
        Settings::discoveryPort();
        Settings::webPort();
        QVERIFY(QSettings().allKeys().isEmpty());
    }

    void writesAreSeenByTheNextRead()
    {
        Settings::setDeviceName(QStringLiteral("书房"));
        Settings::setDownloadPath(QStringLiteral("/tmp/in"));
        Settings::setDiscoverable(false);
        Settings::setServerPort(65535);
        Settings::setDiscoveryPort(1);
        Settings::setWebPort(8080);
        QCOMPARE(Settings::deviceName(), QStringLiteral("书房"));
        QCOMPARE(Settings::downloadPath(), QStringLiteral("/tmp/in"));
        QCOMPARE(Settings::discoverable(), false);
        QCOMPARE(Settings::serverPort(), quint16(65535));
        QCOMPARE(Settings::discoveryPort(), quint16(1));
        QCOMPARE(Settings::webPort(), quint16(8080));
        QCOMPARE(QSettings().value(QStringLiteral("webPort")).toInt(), 8080);
    }

    void portsReadAsSixteenBitValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::addRow("text that is no number") << QVariant(QStringLiteral("abc")) << 0;
        QTest::addRow("decimal text") << QVariant(QStringLiteral("8080")) << 8080;
        QTest::addRow("above 16 bits is cut") << QVariant(65536 + 21) << 21;
    }

    void portsReadAsSixteenBitValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        QSettings().setValue(QStringLiteral("serverPort"), stored);
        QCOMPARE(int(Settings::serverPort()), expected);
    }
};

ORVEX_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
