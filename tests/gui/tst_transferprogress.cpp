#include "gui/transfer/transferprogress.h"
#include "tests/support/testmain.h"

#include <QTest>

using Samples = QList<QPair<qint64, qint64>>; // bytes done, at milliseconds

class TestTransferProgress : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<QString>("text");
        QTest::addRow("no rate yet") << qint64(1500) << Samples { { 0, 0 } } << QStringLiteral("0 B / 1.5 KB");
        QTest::addRow("samples too close") << qint64(1500) << Samples { { 0, 0 }, { 700, 100 } }
                                           << QStringLiteral("700 B / 1.5 KB");
        QTest::addRow("steady") << qint64(1200000000) << Samples { { 0, 0 }, { 50000000, 1000 } }
                                << QStringLiteral("50 MB / 1.2 GB，50 MB/s，剩余 0:23");
        QTest::addRow("smoothed") << qint64(1000000000) << Samples { { 0, 0 }, { 10000000, 1000 }, { 30000000, 2000 } }
                                  << QStringLiteral("30 MB / 1 GB，13 MB/s，剩余 1:15");
        QTest::addRow("hours") << qint64(100000000000) << Samples { { 0, 0 }, { 10000000, 1000 } }
                               << QStringLiteral("10 MB / 100 GB，10 MB/s，剩余 2:46:39");
        QTest::addRow("done") << qint64(4000) << Samples { { 0, 0 }, { 4000, 500 } }
                              << QStringLiteral("4 KB / 4 KB，8 KB/s，剩余 0:00");
    }

    void text()
    {
        QFETCH(qint64, total);
        QFETCH(Samples, samples);
        QFETCH(QString, text);
        TransferProgress progress;
        progress.setTotal(total);
        for (const auto &sample : qAsConst(samples))
            progress.update(sample.first, sample.second);
        QCOMPARE(progress.text(), text);
    }
};

ORVEX_TEST_MAIN(TestTransferProgress)
#include "tst_transferprogress.moc"
