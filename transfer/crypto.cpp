#include "crypto.h"

#include "transfer/aead.h"

#include <QCoreApplication>

#include <sodium.h>

#include <stdexcept>

namespace {

bool sodiumReady = false;

[[noreturn]] void fail(const char *text)
{
    throw std::runtime_error(QCoreApplication::translate("Crypto", text).toUtf8().toStdString());
}

const unsigned char *bytes(const QByteArray &buffer)
{
    return reinterpret_cast<const unsigned char *>(buffer.constData());
}

unsigned char *bytes(QByteArray &buffer)
{
    return reinterpret_cast<unsigned char *>(buffer.data());
}

} // namespace

Crypto::Crypto()
    : publicKey(keyBytes, '\0')
    , secretKey(keyBytes, '\0')
    , sessionKey(keyBytes, '\0')
{
    if (!sodiumReady) {
        if (sodium_init() == -1)
            fail(QT_TRANSLATE_NOOP("Crypto", "Unable to initialize libsodium."));
        sodiumReady = true;
    }
    renewKeys();
}

Crypto::~Crypto() = default;

Aead &Crypto::cipher() const
{
    if (!aead || aeadKey != sessionKey) {
        aead = std::make_unique<Aead>(bytes(sessionKey));
        aeadKey = sessionKey;
    }
    return *aead;
}

void Crypto::renewKeys()
{
    randombytes_buf(bytes(secretKey), keyBytes);
    crypto_scalarmult_base(bytes(publicKey), bytes(secretKey));
    sessionKey.fill('\0');
}

void Crypto::computeSessionKey(const QByteArray &peerPublicKey)
{
    QByteArray shared(keyBytes, '\0');
    // crypto_scalarmult reads exactly 32 bytes of the peer key, so a shorter one must not reach it.
    if (peerPublicKey.size() != keyBytes
        || crypto_scalarmult(bytes(shared), bytes(secretKey), bytes(peerPublicKey)) != 0)
        fail(QT_TRANSLATE_NOOP("Crypto", "Unable to calculate session key."));
    sessionKey = shared;
}

QByteArray Crypto::encrypt(const QByteArray &plaintext) const
{
    QByteArray message(plaintext.size() + messageOverhead, Qt::Uninitialized);
    encryptInto(plaintext, message.data());
    return message;
}

void Crypto::encryptInto(const QByteArray &plaintext, char *message) const
{
    auto *nonce = reinterpret_cast<unsigned char *>(message);
    randombytes_buf(nonce, nonceBytes);
    cipher().seal(nonce, bytes(plaintext), plaintext.size(), nonce + nonceBytes);
}

QByteArray Crypto::decrypt(const QByteArray &message) const
{
    QByteArray plaintext;
    decryptInto(message, plaintext);
    return plaintext;
}

void Crypto::decryptInto(const QByteArray &message, QByteArray &plaintext) const
{
    if (message.size() < nonceBytes)
        fail(QT_TRANSLATE_NOOP("Crypto", "Cipher text too short."));
    if (message.size() < messageOverhead)
        fail(QT_TRANSLATE_NOOP("Crypto", "Decryption failed."));
    plaintext.resize(message.size() - messageOverhead);
    const unsigned char *nonce = bytes(message);
    // Nothing of a message that does not verify reaches the caller.
    if (!cipher().open(nonce, nonce + nonceBytes, message.size() - nonceBytes, bytes(plaintext)))
        fail(QT_TRANSLATE_NOOP("Crypto", "Decryption failed."));
}

QString Crypto::verificationCode() const
{
    unsigned char hash[16];
    crypto_generichash(hash, sizeof hash, bytes(sessionKey), keyBytes, nullptr, 0);
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | hash[i];
    return QStringLiteral("%1").arg(value % 1000000, 6, 10, QLatin1Char('0'));
}
