#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class Aead;

// Key agreement and authenticated encryption of one transfer session. Each object makes an
// ephemeral X25519 key pair (libsodium); once the peer's public key is known, the raw shared
// secret is the ChaCha20-Poly1305 (IETF) key of every message of the session (OpenSSL). Errors are thrown as
// std::runtime_error with a translatable English text.
class Crypto
{
public:
    static constexpr int keyBytes = 32;
    static constexpr int nonceBytes = 12;
    static constexpr int tagBytes = 16;
    // Every message grows by its nonce and its tag.
    static constexpr int messageOverhead = nonceBytes + tagBytes;

    Crypto();
    ~Crypto();
    Crypto(const Crypto &) = delete;
    Crypto &operator=(const Crypto &) = delete;

    // A fresh key pair, for a new session on a new connection.
    void renewKeys();
    void computeSessionKey(const QByteArray &peerPublicKey);
    QByteArray encrypt(const QByteArray &plaintext) const;
    QByteArray decrypt(const QByteArray &message) const;
    QString verificationCode() const;

    // The same operations on buffers the caller keeps, so that a stream of messages does not
    // allocate and free a buffer per message. message must have room for plaintext + 28 bytes;
    // plaintext is resized to the message length - 28.
    void encryptInto(const QByteArray &plaintext, char *message) const;
    void decryptInto(const QByteArray &message, QByteArray &plaintext) const;

    QByteArray publicKey;
    QByteArray secretKey;
    QByteArray sessionKey;

private:
    // The cipher keyed with sessionKey, made again when the key has changed since.
    Aead &cipher() const;

    mutable std::unique_ptr<Aead> aead;
    mutable QByteArray aeadKey;
};
