#include "core/paireddevices.h"
#include "core/settings.h"
#include "tests/support/loopbackpair.h"
#include "tests/support/testmain.h"
#include "tests/transfer/transferpeer.h"
#include "transfer/identity.h"
#include "transfer/identityproof.h"
#include "transfer/receivercontext.h"
#include "transfer/sendercontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

using Standing = PeerIdentity::Standing;

// The name the receiver is known by at the sending side, and the sender's own device name.
const QString receiverName = QStringLiteral("书房");
const QString senderName = QStringLiteral("笔记本");

QJsonObject parse(const QByteArray &message)
{
    return QJsonDocument::fromJson(message).object();
}

// One session between two contexts of this process on loopback, each with an identity of its own.
struct Session
{
    SenderContext *sender = nullptr;
    ReceiverContext *receiver = nullptr;
    QList<PeerIdentity> senderSaw;
    QList<PeerIdentity> receiverSaw;
    QList<TransferOffer> offers;
    int finished = 0;
};

void clearPairs()
{
    const QVector<PairedDevice> all = PairedDevices::all();
    for (const PairedDevice &device : all)
        PairedDevices::unpair(device.fingerprint());
}

} // namespace

class TestPairing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pairingMakesTheNextSessionPaired_data();
    void pairingMakesTheNextSessionPaired();
    void standingOfTheSender_data();
    void standingOfTheSender();
    void proofsFromElsewhereProveNothing_data();
    void proofsFromElsewhereProveNothing();
    void relayWithTwoKeyExchangesFailsTheProof_data();
    void relayWithTwoKeyExchangesFailsTheProof();

private:
    // Starts a session; the receiver accepts every offer, pairing when asked to.
    std::unique_ptr<Session> start(QTcpSocket *client, QTcpSocket *server, const Identity *senderIdentity,
        const Identity *receiverIdentity, bool receiverPairs = false, bool senderPairs = false);
    std::unique_ptr<Session> run(const Identity *senderIdentity, const Identity *receiverIdentity,
        bool receiverPairs = false, bool senderPairs = false);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Identity> alice;
    std::unique_ptr<Identity> bob;
    QString file;
};

void TestPairing::init()
{
    dir = std::make_unique<QTemporaryDir>();
    alice = std::make_unique<Identity>(dir->filePath(QStringLiteral("alice.key")));
    bob = std::make_unique<Identity>(dir->filePath(QStringLiteral("bob.key")));
    QVERIFY(alice->isValid() && bob->isValid());
    Settings::setDownloadPath(dir->filePath(QStringLiteral("downloads")));
    Settings::setDeviceName(senderName);
    file = dir->filePath(QStringLiteral("a.txt"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("paired");
    clearPairs();
}

void TestPairing::cleanup()
{
    clearPairs();
}

std::unique_ptr<Session> TestPairing::start(QTcpSocket *client, QTcpSocket *server, const Identity *senderIdentity,
    const Identity *receiverIdentity, bool receiverPairs, bool senderPairs)
{
    auto session = std::make_unique<Session>();
    Session *s = session.get();
    if (client) {
        s->sender = new SenderContext(
            client, { QSharedPointer<QFile>::create(file) }, { { QStringLiteral("a.txt"), QString() } }, this);
        s->sender->setIdentity(senderIdentity);
        s->sender->setPeerName(receiverName);
        s->sender->setPairOnAccept(senderPairs);
        connect(
            s->sender, &Context::peerIdentified, this, [s](const PeerIdentity &peer) { s->senderSaw.append(peer); });
        connect(s->sender, &Context::transferFinished, this, [s] { ++s->finished; });
        s->sender->startHandshake();
    }
    if (server) {
        s->receiver = new ReceiverContext(server, this);
        s->receiver->setIdentity(receiverIdentity);
        connect(s->receiver, &Context::peerIdentified, this,
            [s](const PeerIdentity &peer) { s->receiverSaw.append(peer); });
        connect(s->receiver, &Context::offered, this, [s, receiverPairs](const TransferOffer &offer) {
            s->offers.append(offer);
            s->receiver->setPairOnAccept(receiverPairs);
            s->receiver->response(true);
        });
        connect(s->receiver, &Context::transferFinished, this, [s] { ++s->finished; });
        s->receiver->startHandshake();
    }
    return session;
}

std::unique_ptr<Session> TestPairing::run(
    const Identity *senderIdentity, const Identity *receiverIdentity, bool receiverPairs, bool senderPairs)
{
    const auto pair = testsupport::connectLoopbackPair();
    if (!pair.client)
        return nullptr;
    auto session = start(pair.client, pair.server, senderIdentity, receiverIdentity, receiverPairs, senderPairs);
    if (!QTest::qWaitFor([&] { return session->finished == 2; }, 10000))
        return nullptr;
    return session;
}

void TestPairing::pairingMakesTheNextSessionPaired_data()
{
    QTest::addColumn<bool>("receiverPairs");
    QTest::addColumn<bool>("senderPairs");
    QTest::addRow("receiving user pairs: both sides") << true << false;
    QTest::addRow("sending user pairs: that side") << false << true;
}

void TestPairing::pairingMakesTheNextSessionPaired()
{
    QFETCH(bool, receiverPairs);
    QFETCH(bool, senderPairs);
    auto first = run(alice.get(), bob.get(), receiverPairs, senderPairs);
    QVERIFY(first);
    QCOMPARE(first->offers.first().peer.standing, Standing::Unpaired);
    QCOMPARE(first->offers.first().peer.key, alice->publicKey());
    QCOMPARE(first->receiverSaw.first().key, alice->publicKey());
    QCOMPARE(first->senderSaw.first().standing, Standing::Unpaired);
    QCOMPARE(first->senderSaw.first().key, bob->publicKey());

    // Each side stored the other under the name it knows it by, where it was last.
    const auto storedBob = PairedDevices::find(bob->publicKey());
    QVERIFY(storedBob);
    QCOMPARE(storedBob->name, receiverName);
    QCOMPARE(storedBob->lastAddress.address, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(storedBob->lastAddress.port, quint16(0));
    QCOMPARE(PairedDevices::find(alice->publicKey()).has_value(), receiverPairs);

    PairedDevices::rename(alice->fingerprint(), QStringLiteral("我的笔记本"));
    auto second = run(alice.get(), bob.get());
    QVERIFY(second);
    QCOMPARE(second->senderSaw.first().standing, Standing::Paired);
    QCOMPARE(second->senderSaw.first().pairedName, receiverName);
    QCOMPARE(second->offers.first().peer.standing, receiverPairs ? Standing::Paired : Standing::Unpaired);
    if (receiverPairs)
        QCOMPARE(second->offers.first().peer.pairedName, QStringLiteral("我的笔记本"));

    // Unpairing is seen by the next session at once.
    PairedDevices::unpair(alice->fingerprint());
    PairedDevices::unpair(bob->fingerprint());
    auto third = run(alice.get(), bob.get());
    QVERIFY(third);
    QCOMPARE(third->senderSaw.first().standing, Standing::Unpaired);
    QCOMPARE(third->offers.first().peer.standing, Standing::Unpaired);
    QVERIFY(PairedDevices::all().isEmpty());
}

void TestPairing::standingOfTheSender_data()
{
    QTest::addColumn<QString>("pairedAs");
    QTest::addColumn<bool>("autoAccept");
    // Which identity the sender proves: alice (the one paired), "fresh" (a new key file, as after
    // a reinstall), or "none" (a key file that holds no key).
    QTest::addColumn<QString>("senderKey");
    QTest::addColumn<Standing>("standing");
    QTest::addColumn<QString>("pairedName");
    QTest::addRow("paired") << senderName << false << "alice" << Standing::Paired << senderName;
    QTest::addRow("paired, auto-accept") << senderName << true << "alice" << Standing::Paired << senderName;
    QTest::addRow("paired, known by another name") << "客厅" << false << "alice" << Standing::Paired << "客厅";
    QTest::addRow("nothing paired") << QString() << false << "alice" << Standing::Unpaired << QString();
    QTest::addRow("paired name, another key")
        << senderName << true << "fresh" << Standing::NotThePairedDevice << QString();
    QTest::addRow("paired name, no proof") << senderName << true << "none" << Standing::NotThePairedDevice << QString();
    QTest::addRow("unknown name, no proof") << "客厅" << true << "none" << Standing::Unproven << QString();
}

void TestPairing::standingOfTheSender()
{
    QFETCH(QString, pairedAs);
    QFETCH(bool, autoAccept);
    QFETCH(QString, senderKey);
    QFETCH(Standing, standing);
    QFETCH(QString, pairedName);
    if (!pairedAs.isEmpty()) {
        QVERIFY(PairedDevices::pair(alice->publicKey(), pairedAs));
        PairedDevices::setAutoAccept(alice->fingerprint(), autoAccept);
    }
    QFile empty(dir->filePath(QStringLiteral("none.key")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    const Identity other(dir->filePath(senderKey + QStringLiteral(".key")));
    auto session = run(senderKey == QLatin1String("alice") ? alice.get() : &other, bob.get());
    QVERIFY(session);
    const PeerIdentity peer = session->offers.first().peer;
    QCOMPARE(peer.standing, standing);
    QCOMPARE(peer.pairedName, pairedName);
    QCOMPARE(peer.autoAccept, standing == Standing::Paired && autoAccept);
    QCOMPARE(peer.key, other.publicKey());
    QCOMPARE(session->receiverSaw.size(), 1);
    QCOMPARE(session->receiverSaw.first().standing, standing);
}

void TestPairing::proofsFromElsewhereProveNothing_data()
{
    QTest::addColumn<int>("forgery");
    QTest::addColumn<Standing>("standing");
    QTest::addRow("this session's proof") << 0 << Standing::Paired;
    QTest::addRow("proof of another session") << 1 << Standing::NotThePairedDevice;
    QTest::addRow("proof made as receiver") << 2 << Standing::NotThePairedDevice;
    QTest::addRow("keys in the other order") << 3 << Standing::NotThePairedDevice;
    QTest::addRow("another device's key beside it") << 4 << Standing::NotThePairedDevice;
    QTest::addRow("not base64") << 5 << Standing::NotThePairedDevice;
    QTest::addRow("not an object") << 6 << Standing::NotThePairedDevice;
    QTest::addRow("own valid proof of an unpaired key") << 7 << Standing::NotThePairedDevice;
}

void TestPairing::proofsFromElsewhereProveNothing()
{
    QFETCH(int, forgery);
    QFETCH(Standing, standing);
    QVERIFY(PairedDevices::pair(alice->publicKey(), senderName));
    PairedDevices::setAutoAccept(alice->fingerprint(), true);
    const auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    auto session = start(nullptr, pair.server, nullptr, bob.get());
    TransferPeer peer(pair.client);
    QVERIFY(peer.exchangeKeys());
    const QByteArray s = peer.crypto.publicKey;
    const QByteArray r = peer.peerPublicKey();
    using Role = IdentityProof::Role;
    QJsonValue proof;
    switch (forgery) {
    case 0:
        proof = IdentityProof::make(*alice, Role::Sender, s, r);
        break;
    case 1:
        proof = IdentityProof::make(*alice, Role::Sender, Crypto().publicKey, r);
        break;
    case 2:
        proof = IdentityProof::make(*alice, Role::Receiver, s, r);
        break;
    case 3:
        proof = IdentityProof::make(*alice, Role::Sender, r, s);
        break;
    case 4: {
        QJsonObject mixed = IdentityProof::make(*alice, Role::Sender, s, r);
        mixed.insert(QStringLiteral("key"), QString::fromLatin1(bob->publicKey().toBase64()));
        proof = mixed;
        break;
    }
    case 5:
        proof = QJsonObject { { QStringLiteral("key"), "!!" }, { QStringLiteral("proof"), "!!" } };
        break;
    case 6:
        proof = QStringLiteral("alice");
        break;
    case 7:
        proof = IdentityProof::make(*bob, Role::Sender, s, r);
        break;
    }
    const QJsonObject offer { { QStringLiteral("device_name"), senderName },
        { QStringLiteral("features"), QJsonArray { QStringLiteral("identity"), QStringLiteral("sealed") } },
        { QStringLiteral("files"),
            QJsonArray { QJsonObject { { QStringLiteral("filename"), "a" }, { QStringLiteral("size"), 1 } } } },
        { QStringLiteral("identity"), proof } };
    peer.sendMessage(QJsonDocument(offer).toJson(QJsonDocument::Compact));
    QTRY_COMPARE(session->offers.size(), 1);
    QCOMPARE(session->offers.first().peer.standing, standing);
    QCOMPARE(session->offers.first().peer.autoAccept, standing == Standing::Paired);
    QCOMPARE(session->offers.first().peer.key,
        forgery == 0       ? alice->publicKey()
            : forgery == 7 ? bob->publicKey()
                           : QByteArray());
    // The answer carries the receiver's proof over the same keys, and no request to pair.
    const QJsonObject answer = parse(peer.nextMessage());
    QCOMPARE(answer.value(QStringLiteral("response")).toInt(), 1);
    QVERIFY(!answer.contains(QStringLiteral("pair")));
    const IdentityProof::Checked receiverProof
        = IdentityProof::check(answer.value(QStringLiteral("identity")), Role::Receiver, s, r);
    QCOMPARE(receiverProof.key, bob->publicKey());
}

void TestPairing::relayWithTwoKeyExchangesFailsTheProof_data()
{
    QTest::addColumn<bool>("relayProvesItself");
    QTest::addRow("proofs passed on") << false;
    QTest::addRow("relay's own proofs") << true;
}

void TestPairing::relayWithTwoKeyExchangesFailsTheProof()
{
    QFETCH(bool, relayProvesItself);
    // Both ends are paired with each other under the names they announce.
    QVERIFY(PairedDevices::pair(alice->publicKey(), senderName));
    QVERIFY(PairedDevices::pair(bob->publicKey(), receiverName));
    const auto toSender = testsupport::connectLoopbackPair();
    const auto toReceiver = testsupport::connectLoopbackPair();
    QVERIFY(toSender.client && toReceiver.client);
    auto session = start(toSender.client, toReceiver.server, alice.get(), bob.get());
    // The relay ends each leg with a key exchange of its own and passes offer and answer on.
    TransferPeer asReceiver(toSender.server);
    TransferPeer asSender(toReceiver.client);
    QVERIFY(asReceiver.exchangeKeys() && asSender.exchangeKeys());
    const Identity mallory(dir->filePath(QStringLiteral("mallory.key")));
    QJsonObject offer = parse(asReceiver.nextMessage());
    QVERIFY(offer.contains(QStringLiteral("identity")));
    if (relayProvesItself)
        offer.insert(QStringLiteral("identity"),
            IdentityProof::make(
                mallory, IdentityProof::Role::Sender, asSender.crypto.publicKey, asSender.peerPublicKey()));
    asSender.sendMessage(QJsonDocument(offer).toJson(QJsonDocument::Compact));
    QTRY_COMPARE(session->offers.size(), 1);
    QCOMPARE(session->offers.first().peer.standing, Standing::NotThePairedDevice);
    QCOMPARE(session->offers.first().peer.key, relayProvesItself ? mallory.publicKey() : QByteArray());
    QJsonObject answer = parse(asSender.nextMessage());
    QVERIFY(answer.contains(QStringLiteral("identity")));
    if (relayProvesItself)
        answer.insert(QStringLiteral("identity"),
            IdentityProof::make(
                mallory, IdentityProof::Role::Receiver, asReceiver.peerPublicKey(), asReceiver.crypto.publicKey));
    answer.insert(QStringLiteral("pair"), 1);
    asReceiver.sendMessage(QJsonDocument(answer).toJson(QJsonDocument::Compact));
    QTRY_COMPARE(session->senderSaw.size(), 1);
    QCOMPARE(session->senderSaw.first().standing, Standing::NotThePairedDevice);
    // Nothing the relay proved or asked for is stored on either side.
    QCOMPARE(PairedDevices::all().size(), 2);
    QVERIFY(!PairedDevices::find(mallory.publicKey()));
}

ORVEX_TEST_MAIN(TestPairing)
#include "tst_pairing.moc"
