#include "discovery/sourcefilter.h"
#include "tests/support/testmain.h"

Q_DECLARE_METATYPE(QHostAddress)

namespace {

const QPair<QHostAddress, int> lan { QHostAddress(QStringLiteral("192.168.7.0")), 24 };
const QHostAddress lanPeer(QStringLiteral("192.168.7.20"));

} // namespace

class TestSourceFilter : public QObject
{
    Q_OBJECT

private slots:
    void answersOutsideLocalNetworksWithinBudget_data()
    {
        QTest::addColumn<QHostAddress>("source");
        QTest::addColumn<bool>("inLan");
        QTest::addRow("peer on the LAN") << lanPeer << true;
        QTest::addRow("IPv4-mapped peer on the LAN") << QHostAddress(QStringLiteral("::ffff:192.168.7.20")) << true;
        QTest::addRow("loopback") << QHostAddress(QStringLiteral("127.0.0.2")) << true;
        QTest::addRow("public address") << QHostAddress(QStringLiteral("203.0.113.9")) << false;
        QTest::addRow("network behind a router") << QHostAddress(QStringLiteral("192.168.8.20")) << false;
        QTest::addRow("IPv6 address") << QHostAddress(QStringLiteral("2001:db8::1")) << false;
    }

    void answersOutsideLocalNetworksWithinBudget()
    {
        QFETCH(QHostAddress, source);
        QFETCH(bool, inLan);
        SourceFilter filter;
        filter.setLocalNetworks({ lan });
        QVERIFY(filter.admit(source, 0));
        QVERIFY(filter.mayAnswer(source, 0));
        // Other senders outside use up the shared budget; a sender on the LAN never counts.
        const int outsideLeft = SourceFilter::maxOutsideAnswersPerSecond - (inLan ? 0 : 1);
        for (int i = 0; i < outsideLeft; ++i) {
            const QHostAddress other(0xCB007100u + static_cast<quint32>(i + 20));
            QVERIFY(filter.admit(other, 10));
            QVERIFY(filter.mayAnswer(other, 10));
        }
        const QHostAddress last(QStringLiteral("198.51.100.1"));
        QVERIFY(filter.admit(last, 20));
        QVERIFY(!filter.mayAnswer(last, 20));
        QVERIFY(filter.admit(last, 1020));
        QVERIFY(filter.mayAnswer(last, 1020));
    }

    void answersOneSourceOncePerSecond()
    {
        SourceFilter filter;
        filter.setLocalNetworks({ lan });
        const QHostAddress other(QStringLiteral("192.168.7.21"));
        QList<qint64> answeredAt;
        for (qint64 now = 0; now < 3000; now += 100) {
            QVERIFY(filter.admit(lanPeer, now));
            if (filter.mayAnswer(lanPeer, now))
                answeredAt.append(now);
            // Another address has its own second, and the IPv4-mapped form is the same source.
            QVERIFY(filter.admit(other, now));
            QCOMPARE(filter.mayAnswer(other, now), now % 1000 == 0);
            QVERIFY(!filter.mayAnswer(QHostAddress(QStringLiteral("::ffff:192.168.7.20")), now));
        }
        QCOMPARE(answeredAt, (QList<qint64> { 0, 1000, 2000 }));
    }

    void dropsFloods()
    {
        SourceFilter filter;
        int admitted = 0;
        for (int i = 0; i < 100; ++i)
            admitted += filter.admit(lanPeer, 500) ? 1 : 0;
        QCOMPARE(admitted, SourceFilter::maxDatagramsPerSecond);
        QVERIFY(filter.admit(lanPeer, 1500));

        // The table holds as many sources as a LAN has devices; more are dropped until the
        // silent ones are forgotten.
        for (int i = 1; i < SourceFilter::maxSources; ++i)
            QVERIFY(filter.admit(QHostAddress(0x0A000000u + static_cast<quint32>(i)), 1500));
        QVERIFY(!filter.admit(QHostAddress(QStringLiteral("10.1.0.1")), 1600));
        QVERIFY(filter.admit(lanPeer, 1600));
        QCOMPARE(filter.trackedSources(), SourceFilter::maxSources);
        QVERIFY(filter.admit(QHostAddress(QStringLiteral("10.1.0.1")), 1500 + SourceFilter::forgetAfterMs));
        QVERIFY(filter.trackedSources() <= 2);
    }
};

ORVEX_TEST_MAIN(TestSourceFilter)
#include "tst_sourcefilter.moc"
