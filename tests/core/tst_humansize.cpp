#include "core/humansize.h"
#include "tests/support/testmain.h"

class TestHumanSize : public QObject
{
    Q_OBJECT

private slots:
    void showsThreeSignificantDigitsInUnitsOf1000_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addRow("zero") << qint64(0) << QStringLiteral("0 B");
        QTest::addRow("negative") << qint64(-5) << QStringLiteral("0 B");
        QTest::addRow("512") << qint64(512) << QStringLiteral("512 B");
        QTest::addRow("999") << qint64(999) << QStringLiteral("999 B");
        QTest::addRow("1000") << qint64(1000) << QStringLiteral("1 KB");
        QTest::addRow("1500") << qint64(1500) << QStringLiteral("1.5 KB");
        QTest::addRow("1234") << qint64(1234) << QStringLiteral("1.23 KB");
        QTest::addRow("1 KiB") << qint64(1024) << QStringLiteral("1.02 KB");
        QTest::addRow("12345") << qint64(12345) << QStringLiteral("12.3 KB");
        QTest::addRow("rounds up to 100") << qint64(99960) << QStringLiteral("100 KB");
        QTest::addRow("rounds up to the next unit") << qint64(999999) << QStringLiteral("1 MB");
        QTest::addRow("123 MB") << qint64(123456789) << QStringLiteral("123 MB");
        QTest::addRow("2 GiB") << qint64(2147483648) << QStringLiteral("2.15 GB");
        QTest::addRow("4.7 GB") << qint64(4700000000) << QStringLiteral("4.7 GB");
        QTest::addRow("3 TB") << qint64(3000000000000) << QStringLiteral("3 TB");
        QTest::addRow("past TB stays in TB") << qint64(2000000000000000) << QStringLiteral("2000 TB");
        QTest::addRow("largest") << std::numeric_limits<qint64>::max() << QStringLiteral("9223372 TB");
    }

    void showsThreeSignificantDigitsInUnitsOf1000()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(humanSize(bytes), text);
    }
};

ORVEX_TEST_MAIN(TestHumanSize)
#include "tst_humansize.moc"
