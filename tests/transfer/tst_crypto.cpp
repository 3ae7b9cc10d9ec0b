#include "tests/support/testmain.h"
#include "transfer/aead.h"
#include "transfer/crypto.h"
#include "transfer/framepipeline.h"
#include "transfer/sealedstream.h"

#include <sodium.h>

#include <functional>
#include <stdexcept>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const unsigned char *bytes(const QByteArray &buffer)
{
    return reinterpret_cast<const unsigned char *>(buffer.constData());
}

// ChaCha20-Poly1305 (IETF) built from its two primitives as the AEAD construction defines it,
// used to check Crypto's messages without going through the AEAD function it calls itself.
QByteArray poly1305TagByConstruction(
    const QByteArray &key, const QByteArray &nonce, const QByteArray &aad, const QByteArray &ciphertext)
{
    unsigned char polyKey[32];
    crypto_stream_chacha20_ietf(polyKey, sizeof polyKey, bytes(nonce), bytes(key));
    auto padded = [](QByteArray data) {
        while (data.size() % 16 != 0)
            data.append('\0');
        return data;
    };
    auto le64 = [](quint64 value) {
        QByteArray out;
        for (int i = 0; i < 8; ++i)
            out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
        return out;
    };
    const QByteArray macData = padded(aad) + padded(ciphertext) + le64(static_cast<quint64>(aad.size()))
        + le64(static_cast<quint64>(ciphertext.size()));
    QByteArray tag(16, '\0');
    crypto_onetimeauth_poly1305(reinterpret_cast<unsigned char *>(tag.data()), bytes(macData),
        static_cast<unsigned long long>(macData.size()), polyKey);
    return tag;
}

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const std::runtime_error &error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

// RFC 8439 section 2.8.2.
const QByteArray rfcKey = hex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
const QByteArray rfcNonce = hex("070000004041424344454647");
const QByteArray rfcAad = hex("50515253c0c1c2c3c4c5c6c7");
const QByteArray rfcPlaintext("Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the "
                              "future, sunscreen would be it.");
const QByteArray rfcCiphertext = hex("d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d6"
                                     "3dbea45e8ca9671282fafb69da92728b1a71de0a9e060b2905d6a5b67ecd3b36"
                                     "92ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
                                     "3ff4def08e4b7a9de576d26586cec64b6116");
const QByteArray rfcTag = hex("1ae10b594f09e26a7e902ecbd0600691");

// RFC 7748 section 6.1.
const QByteArray alicePrivate = hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
const QByteArray alicePublic = hex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
const QByteArray bobPrivate = hex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
const QByteArray bobPublic = hex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
const QByteArray rfcShared = hex("4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");

} // namespace

class TestCrypto : public QObject
{
    Q_OBJECT

private slots:
    void x25519KnownAnswer();
    void freshKeyPairIsConsistent();
    void peersAgreeOnKeyAndCode();
    void refusesLowOrderPeerKey_data();
    void refusesLowOrderPeerKey();
    void decryptsRfcCiphertext();
    void encryptsWithRfcKeystream();
    void emptyPlaintextRoundTrip();
    void freshNonceEachMessage();
    void shortMessagesAreRefused_data();
    void shortMessagesAreRefused();
    void everyFlippedBitIsDetected();
    void verificationCodeKnownAnswer_data();
    void verificationCodeKnownAnswer();
    void sameMessagesAsLibsodium_data();
    void sameMessagesAsLibsodium();
    void pipelinesKeepTheStreamsOrder();
};

void TestCrypto::x25519KnownAnswer()
{
    Crypto alice;
    alice.secretKey = alicePrivate;
    alice.computeSessionKey(bobPublic);
    QCOMPARE(alice.sessionKey.toHex(), rfcShared.toHex());

    Crypto bob;
    bob.secretKey = bobPrivate;
    bob.computeSessionKey(alicePublic);
    QCOMPARE(bob.sessionKey.toHex(), rfcShared.toHex());
    QCOMPARE(bob.verificationCode(), QStringLiteral("168856"));
}

void TestCrypto::freshKeyPairIsConsistent()
{
    // Bob's key pair from the RFC agrees with any fresh key pair only if the fresh public key
    // belongs to its secret key: both sides must reach the same secret.
    Crypto fresh;
    QCOMPARE(fresh.publicKey.size(), 32);
    QVERIFY(fresh.secretKey != QByteArray(32, '\0'));
    QCOMPARE(fresh.sessionKey, QByteArray(32, '\0'));
    Crypto bob;
    bob.secretKey = bobPrivate;
    bob.computeSessionKey(fresh.publicKey);
    fresh.computeSessionKey(bobPublic);
    QCOMPARE(fresh.sessionKey, bob.sessionKey);
}

void TestCrypto::peersAgreeOnKeyAndCode()
{
    Crypto first;
    Crypto second;
    QVERIFY(first.publicKey != second.publicKey);
    first.computeSessionKey(second.publicKey);
    second.computeSessionKey(first.publicKey);
    QCOMPARE(first.sessionKey, second.sessionKey);
    QCOMPARE(first.verificationCode(), second.verificationCode());
    QCOMPARE(second.decrypt(first.encrypt("hello")), QByteArray("hello"));

    Crypto third;
    Crypto fourth;
    third.computeSessionKey(fourth.publicKey);
    QVERIFY(third.sessionKey != first.sessionKey);
    QVERIFY_EXCEPTION_THROWN(third.decrypt(first.encrypt("hello")), std::runtime_error);
}

void TestCrypto::refusesLowOrderPeerKey_data()
{
    QTest::addColumn<QByteArray>("peerKey");
    QTest::addRow("all zero") << QByteArray(32, '\0');
    QTest::addRow("one") << hex("0100000000000000000000000000000000000000000000000000000000000000");
    QTest::addRow("order eight") << hex("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800");
    QTest::addRow("too short") << QByteArray(31, 'x');
}

void TestCrypto::refusesLowOrderPeerKey()
{
    QFETCH(QByteArray, peerKey);
    Crypto crypto;
    QCOMPARE(errorOf([&] { crypto.computeSessionKey(peerKey); }), QStringLiteral("Unable to calculate session key."));
    QCOMPARE(crypto.sessionKey, QByteArray(32, '\0'));
}

void TestCrypto::decryptsRfcCiphertext()
{
    // Crypto uses no additional data, so the RFC message as published (with AAD) must not open...
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    QCOMPARE(poly1305TagByConstruction(rfcKey, rfcNonce, rfcAad, rfcCiphertext).toHex(), rfcTag.toHex());
    QCOMPARE(errorOf([&] { crypto.decrypt(rfcNonce + rfcCiphertext + rfcTag); }), QStringLiteral("Decryption failed."));

    // ...while the RFC ciphertext with the tag over no additional data opens to the RFC plaintext.
    const QByteArray tag = poly1305TagByConstruction(rfcKey, rfcNonce, QByteArray(), rfcCiphertext);
    QCOMPARE(crypto.decrypt(rfcNonce + rfcCiphertext + tag), rfcPlaintext);
}

void TestCrypto::encryptsWithRfcKeystream()
{
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    const QByteArray message = crypto.encrypt(rfcPlaintext);
    QCOMPARE(message.size(), rfcPlaintext.size() + 28);
    const QByteArray nonce = message.left(12);
    const QByteArray ciphertext = message.mid(12, rfcPlaintext.size());
    QCOMPARE(message.right(16), poly1305TagByConstruction(rfcKey, nonce, QByteArray(), ciphertext));
    // The data keystream starts at block counter 1, as in the RFC.
    QByteArray plain(ciphertext.size(), '\0');
    crypto_stream_chacha20_ietf_xor_ic(reinterpret_cast<unsigned char *>(plain.data()), bytes(ciphertext),
        static_cast<unsigned long long>(ciphertext.size()), bytes(nonce), 1, bytes(rfcKey));
    QCOMPARE(plain, rfcPlaintext);
}

void TestCrypto::emptyPlaintextRoundTrip()
{
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    const QByteArray message = crypto.encrypt(QByteArray());
    QCOMPARE(message.size(), 28);
    const QByteArray plaintext = crypto.decrypt(message);
    QVERIFY(plaintext.isEmpty());
}

void TestCrypto::freshNonceEachMessage()
{
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    const QByteArray first = crypto.encrypt("same text");
    const QByteArray second = crypto.encrypt("same text");
    QVERIFY(first.left(12) != second.left(12));
    QVERIFY(first != second);
}

void TestCrypto::shortMessagesAreRefused_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("error");
    for (int length : { 0, 1, 11 })
        QTest::addRow("%d bytes", length) << length << QStringLiteral("Cipher text too short.");
    for (int length : { 12, 20, 27 })
        QTest::addRow("%d bytes", length) << length << QStringLiteral("Decryption failed.");
}

void TestCrypto::shortMessagesAreRefused()
{
    QFETCH(int, length);
    QFETCH(QString, error);
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    QCOMPARE(errorOf([&] { crypto.decrypt(QByteArray(length, '\x01')); }), error);
}

void TestCrypto::everyFlippedBitIsDetected()
{
    Crypto crypto;
    crypto.sessionKey = rfcKey;
    const QByteArray message = crypto.encrypt("sixteen byte msg");
    for (int bit = 0; bit < message.size() * 8; ++bit) {
        QByteArray altered = message;
        altered[bit / 8] = static_cast<char>(altered[bit / 8] ^ (1 << (bit % 8)));
        QCOMPARE(errorOf([&] { crypto.decrypt(altered); }), QStringLiteral("Decryption failed."));
    }
}

void TestCrypto::verificationCodeKnownAnswer_data()
{
    // Expected codes computed with Python's hashlib.blake2b(key, digest_size=16): the first eight
    // bytes read little-endian, modulo 10^6, six digits.
    QTest::addColumn<QByteArray>("sessionKey");
    QTest::addColumn<QString>("code");
    QTest::addRow("0x01 bytes") << QByteArray(32, '\x01') << QStringLiteral("327424");
    QTest::addRow("0x14 bytes, two leading zeros") << QByteArray(32, '\x14') << QStringLiteral("004484");
    QTest::addRow("0x6f bytes, two leading zeros") << QByteArray(32, '\x6f') << QStringLiteral("003915");
    QTest::addRow("0x20 bytes, one leading zero") << QByteArray(32, '\x20') << QStringLiteral("066268");
    QTest::addRow("all zero") << QByteArray(32, '\0') << QStringLiteral("178239");
}

void TestCrypto::verificationCodeKnownAnswer()
{
    QFETCH(QByteArray, sessionKey);
    QFETCH(QString, code);
    Crypto crypto;
    crypto.sessionKey = sessionKey;
    QCOMPARE(crypto.verificationCode(), code);
}

void TestCrypto::sameMessagesAsLibsodium_data()
{
    QTest::addColumn<int>("size");
    QTest::addRow("empty") << 0;
    QTest::addRow("one byte") << 1;
    QTest::addRow("not a whole block") << 100;
    QTest::addRow("a data frame") << 64000;
}

void TestCrypto::sameMessagesAsLibsodium()
{
    QFETCH(int, size);
    QByteArray key(Aead::keyBytes, Qt::Uninitialized);
    QByteArray nonce(Aead::nonceBytes, Qt::Uninitialized);
    QByteArray plaintext(size, Qt::Uninitialized);
    for (QByteArray *buffer : { &key, &nonce, &plaintext })
        randombytes_buf(buffer->data(), static_cast<size_t>(buffer->size()));
    const auto *k = bytes(key);
    const auto *n = bytes(nonce);
    Aead aead(k);
    QByteArray ours(size + Aead::tagBytes, '\0');
    aead.seal(n, bytes(plaintext), size, reinterpret_cast<unsigned char *>(ours.data()));
    QByteArray theirs(size + Aead::tagBytes, '\0');
    crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char *>(theirs.data()), nullptr,
        bytes(plaintext), static_cast<unsigned long long>(size), nullptr, 0, nullptr, n, k);
    QCOMPARE(ours.toHex(), theirs.toHex());
    QByteArray opened(size, '\0');
    QVERIFY(aead.open(n, bytes(theirs), theirs.size(), reinterpret_cast<unsigned char *>(opened.data())));
    QCOMPARE(opened, plaintext);
    theirs[theirs.size() - 1] = static_cast<char>(theirs.at(theirs.size() - 1) ^ 1);
    QVERIFY(!aead.open(n, bytes(theirs), theirs.size(), reinterpret_cast<unsigned char *>(opened.data())));
}

namespace {

// Puts each message through the pipeline, never more than its depth at once; the frames come
// back in order, each with its length field's room of two bytes.
QList<FramePipeline::Frame> throughPipeline(FramePipeline &pipeline, const QList<QByteArray> &messages, int room)
{
    QList<FramePipeline::Frame> results;
    const auto collect = [&] {
        for (FramePipeline::Frame &frame : pipeline.finished()) {
            results.append(frame);
            pipeline.recycle(frame);
        }
    };
    for (const QByteArray &message : messages) {
        while (!pipeline.hasRoom()) {
            pipeline.waitForOne();
            collect();
        }
        FramePipeline::Frame frame = pipeline.take(2 + message.size() + room);
        frame.headerBytes = 2;
        frame.size = message.size();
        memcpy(frame.message(), message.constData(), static_cast<size_t>(message.size()));
        pipeline.submit(std::move(frame));
    }
    pipeline.drain();
    collect();
    return results;
}

} // namespace

void TestCrypto::pipelinesKeepTheStreamsOrder()
{
    Crypto senderKeys;
    Crypto receiverKeys;
    SealedStream sending;
    SealedStream receiving;
    QVERIFY(sending.open(senderKeys, receiverKeys.publicKey, true));
    QVERIFY(receiving.open(receiverKeys, senderKeys.publicKey, false));
    FramePipeline sealer(sending, FramePipeline::Direction::Seal, 3, nullptr);
    FramePipeline opener(receiving, FramePipeline::Direction::Open, 3, nullptr);
    QList<QByteArray> plaintexts;
    for (const int size : { 1, 17, 65536, 1 << 20, 5, 300000, 2 })
        plaintexts.append(QByteArray(size, static_cast<char>('a' + plaintexts.size())));
    QList<QByteArray> messages;
    for (const FramePipeline::Frame &frame : throughPipeline(sealer, plaintexts, SealedStream::tagBytes))
        messages.append(QByteArray(frame.message(), frame.size + SealedStream::tagBytes));
    QCOMPARE(messages.size(), plaintexts.size());
    // A bit flipped in the fifth frame: it and every later frame fail to open, in place too.
    messages[4][2] = static_cast<char>(messages[4][2] ^ 1);
    const QList<FramePipeline::Frame> opened = throughPipeline(opener, messages, 0);
    QCOMPARE(opened.size(), plaintexts.size());
    for (int i = 0; i < opened.size(); ++i) {
        QCOMPARE(opened.at(i).opened, i < 4);
        if (i < 4)
            QCOMPARE(QByteArray(opened.at(i).message(), opened.at(i).size - SealedStream::tagBytes), plaintexts.at(i));
    }
}

ORVEX_TEST_MAIN(TestCrypto)
#include "tst_crypto.moc"
