#include "cli/commandoptions.h"
#include "cli/console.h"
#include "cli/progressline.h"
#include "tests/support/testmain.h"

#include <QTest>

class TestTerminalText : public QObject
{
    Q_OBJECT

private slots:
    void progressFitsTheTerminal_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("bar");
        const QString chinese = QStringLiteral("相册/二〇二六年十二月的照片.jpg");
        QTest::addRow("80 columns, Chinese") << QStringLiteral("接收") << chinese << 80 << true;
        QTest::addRow("50 columns, Chinese") << QStringLiteral("接收") << chinese << 50 << true;
        QTest::addRow("50 columns, English")
            << QStringLiteral("Receiving") << QStringLiteral("a-long-name.iso") << 50 << true;
        QTest::addRow("30 columns: a short bar") << QStringLiteral("发送") << chinese << 30 << true;
        QTest::addRow("12 columns") << QStringLiteral("发送") << chinese << 12 << false;
    }

    void progressFitsTheTerminal()
    {
        QFETCH(QString, label);
        QFETCH(QString, file);
        QFETCH(int, width);
        QFETCH(bool, bar);
        const QString line = ProgressLine::terminalLine(
            label, file, 0.45, QStringLiteral("12.3 MB/s"), QStringLiteral("1:02:03"), width);
        QVERIFY2(Console::displayWidth(line) < width, qPrintable(line));
        QVERIFY2(line.startsWith(label), qPrintable(line));
        QCOMPARE(line.contains(QChar(0x2588)), bar);
    }

    void sizesAndRatesInUnitsOfAThousand_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::addRow("bytes") << 900.0 << QStringLiteral("900 B/s");
        QTest::addRow("two million") << 2e6 << QStringLiteral("2 MB/s");
        QTest::addRow("one and a half billion") << 1.5e9 << QStringLiteral("1.5 GB/s");
    }

    void sizesAndRatesInUnitsOfAThousand()
    {
        QFETCH(double, rate);
        QFETCH(QString, text);
        QCOMPARE(ProgressLine::rateText(rate), text);
    }

    void helpWrapsByDisplayWidth()
    {
        const QString text
            = QStringLiteral("接收设备：设备名称（通过设备发现查找），或 地址:端口。可多次给出，依次发送。");
        const QStringList lines = CommandOptions::wrap(text, 20);
        QVERIFY(lines.size() > 1);
        for (const QString &line : lines)
            QVERIFY2(Console::displayWidth(line) <= 20, qPrintable(line));
        QCOMPARE(lines.join(QString()).remove(QLatin1Char(' ')), QString(text).remove(QLatin1Char(' ')));
    }
};

ORVEX_TEST_MAIN(TestTerminalText)
#include "tst_terminaltext.moc"
