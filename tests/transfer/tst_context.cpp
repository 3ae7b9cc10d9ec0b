#include "tests/support/loopbackpair.h"
#include "tests/support/testmain.h"
#include "transfer/context.h"

#include <QSignalSpy>

#include <memory>

namespace {

// A context that records what reaches its side and can be told to finish.
class RecordingContext : public Context
{
    Q_OBJECT

public:
    explicit RecordingContext(QTcpSocket *connection)
        : Context(connection, nullptr)
    {
    }

    void handleMessage(QByteArray plaintext) override
    {
        messages.append(plaintext);
        if (plaintext == "finish")
            state = Finished;
    }
    void onHandshakeDone() override { ++handshakes; }
    void response(bool) override { }

    QString code() const { return crypto.verificationCode(); }

    QList<QByteArray> messages;
    int handshakes = 0;
};

// The far end of a connection driven byte by byte by the test, with its own key pair.
struct RawPeer
{
    QTcpSocket *socket = nullptr;
    Crypto crypto;

    // Reads the context's public key (sent by its startHandshake) and derives the session key.
    bool takeKey()
    {
        if (!QTest::qWaitFor([this] { return socket->bytesAvailable() >= 32; }, 5000))
            return false;
        crypto.computeSessionKey(socket->read(32));
        return true;
    }

    QByteArray frame(const QByteArray &plaintext) const { return rawFrame(crypto.encrypt(plaintext)); }

    static QByteArray rawFrame(const QByteArray &body)
    {
        QByteArray out;
        out.append(static_cast<char>(body.size() >> 8));
        out.append(static_cast<char>(body.size() & 0xFF));
        return out + body;
    }

    void write(const QByteArray &bytes)
    {
        socket->write(bytes);
        socket->flush();
    }
};

struct Session
{
    std::unique_ptr<RecordingContext> context;
    std::unique_ptr<QTcpSocket> peerSocket;
    RawPeer peer;
    std::unique_ptr<QSignalSpy> reads;
    std::unique_ptr<QSignalSpy> errors;
};

// A recording context on one end of a loopback connection and a raw peer on the other. The
// spy on the context's socket fires after the context has handled each read, because the
// context connected to readyRead first.
std::unique_ptr<Session> openSession()
{
    auto pair = testsupport::connectLoopbackPair();
    if (!pair.client)
        return nullptr;
    auto session = std::make_unique<Session>();
    session->reads = std::make_unique<QSignalSpy>(pair.server, &QTcpSocket::readyRead);
    session->context = std::make_unique<RecordingContext>(pair.server);
    session->errors = std::make_unique<QSignalSpy>(session->context.get(), &Context::raiseErrorMsg);
    session->peerSocket.reset(pair.client);
    session->peer.socket = pair.client;
    session->context->startHandshake();
    if (!session->peer.takeKey())
        return nullptr;
    return session;
}

} // namespace

class TestContext : public QObject
{
    Q_OBJECT

private slots:
    void keysInEitherOrder_data();
    void keysInEitherOrder();
    void keySplitOverTwoWrites();
    void keyAndFramesInOneRead();
    void frameSplitOverReads();
    void badFramesAreReported_data();
    void badFramesAreReported();
    void peerClosing_data();
    void peerClosing();
    void handshakeTimeLimit_data();
    void handshakeTimeLimit();
    void refusesOversizedMessage();
};

void TestContext::keysInEitherOrder_data()
{
    QTest::addColumn<int>("order");
    QTest::addRow("client first") << 0;
    QTest::addRow("server first") << 1;
    QTest::addRow("both at once") << 2;
}

void TestContext::keysInEitherOrder()
{
    QFETCH(int, order);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    RecordingContext client(pair.client);
    RecordingContext server(pair.server);
    QSignalSpy errors(&server, &Context::raiseErrorMsg);

    RecordingContext &first = order == 1 ? server : client;
    RecordingContext &second = order == 1 ? client : server;
    QSignalSpy firstLog(&first, &Context::printLogMsg);
    QSignalSpy firstAgreed(&first, &Context::keysAgreed);
    first.startHandshake();
    if (order != 2)
        QTRY_COMPARE(second.sessionState(), Context::Negotiating);
    second.startHandshake();
    QTRY_COMPARE(first.sessionState(), Context::Negotiating);
    QTRY_COMPARE(second.sessionState(), Context::Negotiating);
    QCOMPARE(first.handshakes, 1);
    QCOMPARE(second.handshakes, 1);
    QCOMPARE(client.code(), server.code());
    QCOMPARE(firstLog.size(), 2);
    QCOMPARE(firstAgreed.size(), 1);
    QCOMPARE(firstAgreed.at(0).at(0).toString(), client.code());

    client.sendMessage("to server");
    server.sendMessage("to client");
    QTRY_COMPARE(server.messages, QList<QByteArray>({ "to server" }));
    QTRY_COMPARE(client.messages, QList<QByteArray>({ "to client" }));
    QCOMPARE(errors.count(), 0);
}

void TestContext::keySplitOverTwoWrites()
{
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;
    peer.write(peer.crypto.publicKey.left(13));
    QTRY_COMPARE(session->reads->count(), 1);
    QCOMPARE(session->context->sessionState(), Context::AwaitingKey);
    QCOMPARE(session->errors->count(), 0);

    peer.write(peer.crypto.publicKey.mid(13) + peer.frame("after key"));
    QTRY_COMPARE(session->context->messages, QList<QByteArray>({ "after key" }));
    QCOMPARE(session->context->sessionState(), Context::Negotiating);
    QCOMPARE(session->context->code(), peer.crypto.verificationCode());
    QCOMPARE(session->errors->count(), 0);
}

void TestContext::keyAndFramesInOneRead()
{
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;
    const QByteArray big(64000, 'b');
    peer.write(
        peer.crypto.publicKey + peer.frame("one") + peer.frame(QByteArray()) + peer.frame(big) + peer.frame("four"));
    QTRY_COMPARE(session->context->messages.size(), 4);
    QCOMPARE(session->context->messages, QList<QByteArray>({ "one", QByteArray(), big, "four" }));
    QCOMPARE(session->context->handshakes, 1);
    QCOMPARE(session->errors->count(), 0);
}

void TestContext::frameSplitOverReads()
{
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;
    peer.write(peer.crypto.publicKey);
    QTRY_COMPARE(session->context->sessionState(), Context::Negotiating);
    const int readsBefore = session->reads->count();

    const QByteArray frame = peer.frame("split message");
    const QByteArray next = peer.frame("next");
    // Length only, then the length's second byte with part of the body, then the rest with
    // the start of the next frame.
    const QList<QByteArray> pieces = { frame.left(1), frame.mid(1, 10), frame.mid(11) + next.left(5) };
    for (int i = 0; i < pieces.size(); ++i) {
        peer.write(pieces.at(i));
        QTRY_COMPARE(session->reads->count(), readsBefore + i + 1);
        QCOMPARE(session->context->messages.size(), i < 2 ? 0 : 1);
    }
    QCOMPARE(session->context->messages.at(0), QByteArray("split message"));
    peer.write(next.mid(5));
    QTRY_COMPARE(session->context->messages.size(), 2);
    QCOMPARE(session->context->messages.at(1), QByteArray("next"));
    QCOMPARE(session->errors->count(), 0);
}

void TestContext::badFramesAreReported_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("error");
    QTest::addRow("zero length") << 0 << QStringLiteral("Cipher text too short.");
    QTest::addRow("eleven bytes") << 1 << QStringLiteral("Cipher text too short.");
    QTest::addRow("twenty bytes") << 2 << QStringLiteral("Decryption failed.");
    QTest::addRow("one altered byte") << 3 << QStringLiteral("Decryption failed.");
    QTest::addRow("other session's key") << 4 << QStringLiteral("Decryption failed.");
}

void TestContext::badFramesAreReported()
{
    QFETCH(int, kind);
    QFETCH(QString, error);
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;

    QByteArray bad;
    switch (kind) {
    case 0:
        bad = RawPeer::rawFrame(QByteArray());
        break;
    case 1:
        bad = RawPeer::rawFrame(QByteArray(11, 'x'));
        break;
    case 2:
        bad = RawPeer::rawFrame(QByteArray(20, 'x'));
        break;
    case 3:
        bad = peer.frame("altered");
        bad[20] = static_cast<char>(bad[20] ^ 0x40);
        break;
    default: {
        Crypto stranger;
        stranger.computeSessionKey(Crypto().publicKey);
        bad = RawPeer::rawFrame(stranger.encrypt("foreign"));
    }
    }
    // A good frame first, then the bad one, then good ones in the same and in a later read:
    // only the first reaches the side.
    peer.write(peer.crypto.publicKey + peer.frame("good") + bad + peer.frame("late"));
    QTRY_COMPARE(session->errors->count(), 1);
    QCOMPARE(session->errors->at(0).at(0).toString(), error);
    peer.write(peer.frame("later"));
    const int readsBefore = session->reads->count();
    QTRY_VERIFY(session->reads->count() > readsBefore);
    QCOMPARE(session->context->messages, QList<QByteArray>({ "good" }));
    QCOMPARE(session->errors->count(), 1);
    QVERIFY(session->context->hasFailed());
}

void TestContext::peerClosing_data()
{
    QTest::addColumn<bool>("finished");
    QTest::addRow("before finished") << false;
    QTest::addRow("after finished") << true;
}

void TestContext::peerClosing()
{
    QFETCH(bool, finished);
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;
    peer.write(peer.crypto.publicKey + peer.frame(finished ? "finish" : "more to come"));
    QTRY_COMPARE(session->context->messages.size(), 1);

    QSignalSpy disconnected(session->context->findChild<QTcpSocket *>(), &QTcpSocket::disconnected);
    session->peerSocket->disconnectFromHost();
    QTRY_COMPARE(disconnected.count(), 1);
    if (finished) {
        QCOMPARE(session->errors->count(), 0);
    } else {
        QCOMPARE(session->errors->count(), 1);
        QCOMPARE(session->errors->at(0).at(0).toString(), QStringLiteral("The remote host closed the connection"));
    }
}

void TestContext::handshakeTimeLimit_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("close");
    QTest::addRow("silent peer") << QByteArray() << false;
    QTest::addRow("part of a key") << QByteArray(20, 'k') << false;
    QTest::addRow("part of a key, then closed") << QByteArray(20, 'k') << true;
}

void TestContext::handshakeTimeLimit()
{
    QFETCH(QByteArray, sent);
    QFETCH(bool, close);
    QCOMPARE(Context::defaultTimeLimitMsec, 30000);
    auto pair = testsupport::connectLoopbackPair();
    QVERIFY(pair.client);
    std::unique_ptr<QTcpSocket> peer(pair.client);
    RecordingContext context(pair.server);
    QCOMPARE(context.timeLimit(), 30000);
    // Closing must be reported at once, not when the limit expires.
    context.setTimeLimit(close ? 60000 : 300);
    QSignalSpy errors(&context, &Context::raiseErrorMsg);
    QSignalSpy failures(&context, &Context::transferFailed);
    context.startHandshake();
    peer->write(sent);
    if (close)
        peer->disconnectFromHost();
    QVERIFY(failures.wait(5000));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.at(0).at(0).value<TransferFailure>().kind,
        close ? TransferFailure::Kind::Network : TransferFailure::Kind::TimedOut);
    QCOMPARE(context.sessionState(), Context::AwaitingKey);
    QCOMPARE(context.handshakes, 0);
}

void TestContext::refusesOversizedMessage()
{
    auto session = openSession();
    QVERIFY(session);
    RawPeer &peer = session->peer;
    peer.write(peer.crypto.publicKey);
    QTRY_COMPARE(session->context->sessionState(), Context::Negotiating);

    session->context->sendMessage(QByteArray(Context::maxPlaintextPerFrame, 'm'));
    QByteArray received;
    QTRY_COMPARE((received += session->peerSocket->readAll()).size(), 2 + 65535);
    QCOMPARE(received.size(), 2 + 65535);
    QCOMPARE(received.left(2), QByteArray("\xff\xff"));
    QCOMPARE(peer.crypto.decrypt(received.mid(2)), QByteArray(Context::maxPlaintextPerFrame, 'm'));

    session->context->sendMessage(QByteArray(Context::maxPlaintextPerFrame + 1, 'm'));
    QCOMPARE(session->errors->count(), 1);
    QCOMPARE(session->context->findChild<QTcpSocket *>()->bytesToWrite(), 0);
}

ORVEX_TEST_MAIN(TestContext)
#include "tst_context.moc"
