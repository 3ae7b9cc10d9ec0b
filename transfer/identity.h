#pragma once

#include <QByteArray>
#include <QString>

// The long-term key pair of this installation (Ed25519): what lets a paired device tell this one
// from anything that merely uses its name. The secret half never leaves the key file, which only
// the user can read; discovery announces no more than the public key's fingerprint.
class Identity
{
public:
    static constexpr int publicKeyBytes = 32;
    static constexpr int signatureBytes = 64;

    // The key file at path, created (mode 0600, with its folder) when there is none. Several
    // processes starting at once end up with the same key: the file is created once, by whichever
    // comes first. A file that exists but holds no key is left as it is, and the identity is then
    // invalid: sessions prove nothing rather than replace the key the pairs know.
    explicit Identity(const QString &path);

    // The installation's identity, in "identity.key" in the user's configuration folder; loaded
    // once, at first use, safe from any thread.
    static const Identity &own();

    bool isValid() const { return publicKeyValue.size() == publicKeyBytes; }
    QByteArray publicKey() const { return publicKeyValue; }
    QString fingerprint() const;
    QString path() const { return filePath; }

    // Ed25519 signature of message; empty when the identity is invalid.
    QByteArray sign(const QByteArray &message) const;
    static bool verify(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature);

private:
    bool load();
    bool create();

    QString filePath;
    QByteArray publicKeyValue;
    // Seed and public key, as libsodium keeps an Ed25519 secret key.
    QByteArray secretKey;
};
