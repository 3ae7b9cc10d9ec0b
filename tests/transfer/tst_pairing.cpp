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
using Role = IdentityProof::Role;
// The sender's device name, and the name the sender knows the receiver by.
const QString laptop = QStringLiteral("笔记本");
const QString study = QStringLiteral("书房");

QJsonObject parse(const QByteArray &message)
{
    return QJsonDocument::fromJson(message).object();
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestPairing : public QObject
{
    Q_OBJECT

    enum Proof { Alice, Fresh, None, OtherSession, ReceiverRole, ForeignKey, NotBase64 };

    std::unique_ptr<QTemporaryDir> dir;
    // The sender's and the receiver's identities.
    std::unique_ptr<Identity> alice;
    std::unique_ptr<Identity> bob;

    SenderContext *startSender(QTcpSocket *socket)
    {
        const QString path = dir->filePath(QStringLiteral("a.txt"));
        auto *sender = new SenderContext(socket, { QSharedPointer<QFile>::create(path) }, { { "a.txt", "" } }, this);
        sender->setIdentity(alice.get());
        sender->setPeerName(study);
        return sender;
    }

    ReceiverContext *startReceiver(QTcpSocket *socket, PeerIdentity *offered, bool pairs = false)
    {
        auto *receiver = new ReceiverContext(socket, this);
        receiver->setIdentity(bob.get());
        connect(receiver, &Context::offered, receiver, [receiver, offered, pairs](const TransferOffer &offer) {
            *offered = offer.peer;
            receiver->setPairOnAccept(pairs);
            receiver->response(true);
        });
        receiver->startHandshake();
        return receiver;
    }

    // A whole session of one file between alice and bob; false when it did not finish.
    bool session(PeerIdentity *sawReceiver, PeerIdentity *sawSender, bool receiverPairs, bool senderPairs)
    {
        const auto pair = testsupport::connectLoopbackPair();
        SenderContext *sender = startSender(pair.client);
        sender->setPairOnAccept(senderPairs);
        connect(
            sender, &Context::peerIdentified, sender, [sawReceiver](const PeerIdentity &peer) { *sawReceiver = peer; });
        QSignalSpy sent(sender, &Context::transferFinished);
        QSignalSpy got(startReceiver(pair.server, sawSender, receiverPairs), &Context::transferFinished);
        sender->startHandshake();
        return QTest::qWaitFor([&] { return sent.size() == 1 && got.size() == 1; }, 10000);
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        alice = std::make_unique<Identity>(dir->filePath(QStringLiteral("alice.key")));
        bob = std::make_unique<Identity>(dir->filePath(QStringLiteral("bob.key")));
        Settings::setDownloadPath(dir->filePath(QStringLiteral("downloads")));
        Settings::setDeviceName(laptop);
        QFile file(dir->filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("paired") == 6);
        for (const PairedDevice &device : PairedDevices::all())
            PairedDevices::unpair(device.fingerprint());
    }

    void pairingMakesTheNextSessionPaired_data()
    {
        QTest::addColumn<bool>("receiverPairs");
        QTest::addRow("receiving user pairs: both sides store") << true;
        QTest::addRow("sending user pairs: that side stores") << false;
    }

    void pairingMakesTheNextSessionPaired()
    {
        QFETCH(bool, receiverPairs);
        PeerIdentity receiver;
        PeerIdentity sender;
        QVERIFY(session(&receiver, &sender, receiverPairs, !receiverPairs));
        QCOMPARE(receiver.standing, Standing::Unpaired);
        QCOMPARE(receiver.key, bob->publicKey());
        QCOMPARE(sender.standing, Standing::Unpaired);
        QCOMPARE(sender.key, alice->publicKey());
        // Stored under the name this side knows the peer by, where it was last reached.
        const std::optional<PairedDevice> stored = PairedDevices::find(bob->publicKey());
        QVERIFY(stored);
        QCOMPARE(stored->name, study);
        QCOMPARE(stored->lastAddress.text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(PairedDevices::find(alice->publicKey()).has_value(), receiverPairs);

        PairedDevices::rename(bob->fingerprint(), QStringLiteral("客厅"));
        QVERIFY(session(&receiver, &sender, false, false));
        QCOMPARE(receiver.standing, Standing::Paired);
        QCOMPARE(receiver.pairedName, QStringLiteral("客厅"));
        QCOMPARE(sender.standing, receiverPairs ? Standing::Paired : Standing::Unpaired);

        // Unpairing is seen by the next session at once.
        PairedDevices::unpair(bob->fingerprint());
        QVERIFY(session(&receiver, &sender, false, false));
        QCOMPARE(receiver.standing, Standing::Unpaired);
    }

    void standingOfTheSender_data()
    {
        QTest::addColumn<QString>("pairedAs");
        QTest::addColumn<QString>("announced");
        QTest::addColumn<int>("proof");
        QTest::addColumn<Standing>("standing");
        QTest::addRow("paired") << laptop << laptop << int(Alice) << Standing::Paired;
        QTest::addRow("paired, announcing another name") << "客厅" << laptop << int(Alice) << Standing::Paired;
        QTest::addRow("not paired") << QString() << laptop << int(Alice) << Standing::Unpaired;
        QTest::addRow("paired name, another key") << laptop << laptop << int(Fresh) << Standing::NotThePairedDevice;
        QTest::addRow("paired name, no proof") << laptop << laptop << int(None) << Standing::NotThePairedDevice;
        QTest::addRow("other name, no proof") << laptop << "客厅" << int(None) << Standing::Unproven;
        QTest::addRow("proof of another session")
            << laptop << laptop << int(OtherSession) << Standing::NotThePairedDevice;
        QTest::addRow("proof made as receiver")
            << laptop << laptop << int(ReceiverRole) << Standing::NotThePairedDevice;
        QTest::addRow("another key beside it") << laptop << laptop << int(ForeignKey) << Standing::NotThePairedDevice;
        QTest::addRow("not base64") << "客厅" << laptop << int(NotBase64) << Standing::Unproven;
    }

    void standingOfTheSender()
    {
        QFETCH(QString, pairedAs);
        QFETCH(QString, announced);
        QFETCH(int, proof);
        QFETCH(Standing, standing);
        if (!pairedAs.isEmpty()) {
            QVERIFY(PairedDevices::pair(alice->publicKey(), pairedAs));
            QVERIFY(PairedDevices::setAutoAccept(alice->fingerprint(), true));
        }
        const auto pair = testsupport::connectLoopbackPair();
        PeerIdentity offered;
        startReceiver(pair.server, &offered);
        TransferPeer peer(pair.client);
        QVERIFY(peer.exchangeKeys());
        const QByteArray s = peer.crypto.publicKey;
        const QByteArray r = peer.peerPublicKey();
        const Identity fresh(dir->filePath(QStringLiteral("fresh.key")));
        QJsonObject identity = IdentityProof::make(proof == Fresh ? fresh : *alice, Role::Sender, s, r);
        if (proof == OtherSession)
            identity = IdentityProof::make(*alice, Role::Sender, Crypto().publicKey, r);
        if (proof == ReceiverRole)
            identity = IdentityProof::make(*alice, Role::Receiver, s, r);
        if (proof == ForeignKey)
            identity.insert(QStringLiteral("key"), QString::fromLatin1(bob->publicKey().toBase64()));
        if (proof == NotBase64)
            identity.insert(QStringLiteral("proof"), QStringLiteral("!!"));
        QJsonObject offer { { "device_name", announced }, { "features", QJsonArray { "identity", "sealed" } },
            { "files", QJsonArray { QJsonObject { { "filename", "a" }, { "size", 1 } } } } };
        if (proof != None)
            offer.insert(QStringLiteral("identity"), identity);
        peer.sendMessage(compact(offer));
        // The answer carries the receiver's proof over the same keys, and no request to pair.
        const QJsonObject answer = parse(peer.nextMessage());
        QCOMPARE(IdentityProof::check(answer.value("identity"), Role::Receiver, s, r).key, bob->publicKey());
        QVERIFY(!answer.contains(QStringLiteral("pair")));
        QCOMPARE(offered.standing, standing);
        QCOMPARE(offered.autoAccept, standing == Standing::Paired);
        QCOMPARE(offered.pairedName, standing == Standing::Paired ? pairedAs : QString());
        QCOMPARE(offered.key, proof == Alice ? alice->publicKey() : proof == Fresh ? fresh.publicKey() : QByteArray());
    }

    void proofSignsTheDocumentedMessage()
    {
        const QByteArray s(32, 's');
        const QByteArray r(32, 'r');
        const QJsonObject proof = IdentityProof::make(*alice, Role::Receiver, s, r);
        QCOMPARE(QByteArray::fromBase64(proof.value("key").toString().toLatin1()), alice->publicKey());
        QVERIFY(Identity::verify(alice->publicKey(), QByteArray("orvex identity proof 1\0receiver\0", 32) + s + r,
            QByteArray::fromBase64(proof.value("proof").toString().toLatin1())));
    }

    void relayWithTwoKeyExchangesFailsTheProof()
    {
        QVERIFY(PairedDevices::pair(alice->publicKey(), laptop));
        QVERIFY(PairedDevices::pair(bob->publicKey(), study));
        const auto toSender = testsupport::connectLoopbackPair();
        const auto toReceiver = testsupport::connectLoopbackPair();
        SenderContext *sender = startSender(toSender.client);
        QSignalSpy identified(sender, &Context::peerIdentified);
        PeerIdentity offered;
        startReceiver(toReceiver.server, &offered, true);
        sender->startHandshake();
        // The relay ends each leg with a key exchange of its own and passes offer and answer on,
        // asking the sender to pair with it on the way.
        TransferPeer asReceiver(toSender.server);
        TransferPeer asSender(toReceiver.client);
        QVERIFY(asReceiver.exchangeKeys() && asSender.exchangeKeys());
        asSender.sendMessage(asReceiver.nextMessage());
        QJsonObject answer = parse(asSender.nextMessage());
        answer.insert(QStringLiteral("pair"), 1);
        asReceiver.sendMessage(compact(answer));
        QVERIFY(identified.wait());
        QCOMPARE(identified.first().first().value<PeerIdentity>().standing, Standing::NotThePairedDevice);
        QCOMPARE(offered.standing, Standing::NotThePairedDevice);
        QCOMPARE(offered.key, QByteArray());
        QCOMPARE(PairedDevices::all().size(), 2);
    }
};

ORVEX_TEST_MAIN(TestPairing)
#include "tst_pairing.moc"
