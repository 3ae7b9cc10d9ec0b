#include "core/openfilelimit.h"
#include "core/settings.h"
#include "tests/support/testmain.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/receivercontext.h"
#include "transfer/server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

QHostAddress loopback(int index)
{
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(index / 250).arg(2 + index % 250));
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// An offer of files of one byte each under the names given.
QJsonObject offerOf(const QStringList &names)
{
    QJsonArray files;
    for (const QString &name : names)
        files.append(QJsonObject { { QStringLiteral("filename"), name }, { QStringLiteral("size"), 1 } });
    return { { QStringLiteral("files"), files } };
}

} // namespace

class TestServer : public QObject
{
    Q_OBJECT

private slots:
    void closesConnectionsBeyondTheLimits_data()
    {
        QTest::addColumn<int>("addresses");
        QTest::addColumn<int>("perAddress");
        QTest::addRow("fifth from one address") << 1 << Server::maxUnkeyedSessionsPerAddress;
        QTest::addRow("thirty-third in all") << Server::maxSessions << 1;
    }

    void closesConnectionsBeyondTheLimits()
    {
        QFETCH(int, addresses);
        QFETCH(int, perAddress);
        Settings::setServerPort(0);
        Server server;
        std::vector<std::unique_ptr<ReceiverContext>> sessions;
        connect(&server, &Server::incomingSession, this, [&sessions](ReceiverContext *session) {
            sessions.emplace_back(session);
            session->startHandshake();
        });
        server.start();

        // Every session that is let in sends its key at once.
        std::vector<std::unique_ptr<QTcpSocket>> kept;
        for (int address = 0; address < addresses; ++address) {
            for (int i = 0; i < perAddress; ++i) {
                kept.push_back(std::make_unique<QTcpSocket>());
                QVERIFY(kept.back()->bind(loopback(address)));
                kept.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
            }
        }
        for (const auto &socket : kept)
            QTRY_COMPARE(socket->bytesAvailable(), qint64(Crypto::keyBytes));

        // One more, from the last address: closed without a word.
        QTcpSocket refused;
        QVERIFY(refused.bind(loopback(addresses - 1)));
        refused.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QTRY_COMPARE(refused.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(refused.bytesAvailable(), 0);
        QCOMPARE(int(sessions.size()), addresses * perAddress);
        for (const auto &socket : kept)
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);

        // A session that ends, or completes its key exchange, makes room again.
        sessions.front().reset();
        TransferPeer later;
        QVERIFY(later.connectTo(server.serverPort(), loopback(addresses - 1)));
        QCOMPARE(int(sessions.size()), addresses * perAddress + 1);
        if (perAddress > 1) {
            TransferPeer another;
            QVERIFY(another.connectTo(server.serverPort(), loopback(0)));
        }
    }

    void refusesOffersNobodySees_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("floodFrames");
        const QString longName(ReceiverContext::maxNameBytes + 1, QLatin1Char('n'));
        const QString longPart(ReceiverContext::maxNameComponentBytes + 1, QLatin1Char('p'));
        QJsonObject flood = offerOf({ QStringLiteral("a") });
        flood.insert(QStringLiteral("features"), QJsonArray { QStringLiteral("list") });
        flood.insert(QStringLiteral("more"), 499999);
        QTest::addRow("not JSON") << QByteArray("\x01\x02 not an offer") << 0;
        QTest::addRow("not an object") << QByteArray("[]") << 0;
        QTest::addRow("no list of files") << compact({ { QStringLiteral("files"), QStringLiteral("a") } }) << 0;
        QTest::addRow("an empty list") << compact(offerOf({})) << 0;
        QTest::addRow("a name too long") << compact(offerOf({ longName })) << 0;
        QTest::addRow("a part too long") << compact(offerOf({ QStringLiteral("d/") + longPart })) << 0;
        QTest::addRow("names beyond what one offer holds") << compact(flood) << 500;
    }

    void refusesOffersNobodySees()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, floodFrames);
        Settings::setServerPort(0);
        Server server;
        std::vector<std::unique_ptr<ReceiverContext>> sessions;
        int offers = 0;
        connect(&server, &Server::incomingSession, this, [&](ReceiverContext *session) {
            sessions.emplace_back(session);
            connect(session, &Context::metaDataReady, this, [&offers] { ++offers; });
            session->startHandshake();
        });
        server.start();
        TransferPeer peer;
        QVERIFY(peer.connectTo(server.serverPort()));
        peer.sendMessage(head);
        QStringList names;
        for (int i = 0; i < 15; ++i)
            names.append((QString(250, QLatin1Char('f')) + QLatin1Char('/')).repeated(15) + QString::number(i));
        const QByteArray frame = compact(offerOf(names));
        for (int i = 0; i < floodFrames && peer.socket->state() == QAbstractSocket::ConnectedState; ++i)
            peer.sendMessage(frame);
        QVERIFY(peer.waitForDisconnected(60000));
        QCOMPARE(offers, 0);
    }

    void raisesTheDescriptorLimitToTheHardLimit()
    {
        rlimit limit {};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
        const rlim_t hard = limit.rlim_max;
        limit.rlim_cur = std::min<rlim_t>(hard, 256);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);

        QCOMPARE(raiseOpenFileLimit(), static_cast<unsigned long>(hard));
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(limit.rlim_cur, hard);
        QVERIFY(hard > 8 * Server::maxSessions);
    }
};

ORVEX_TEST_MAIN(TestServer)
#include "tst_server.moc"
