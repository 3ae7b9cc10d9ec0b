#pragma once

#include <QByteArray>

#include <sodium.h>

#include <memory>

class Aead;
class Crypto;

// The sealed stream of a session in which both ends announced "sealed": once the offer is
// answered, each direction has a key of its own, derived from the X25519 exchange, both public
// keys and the transcript of every frame exchanged before, and every frame's nonce is its number
// in its direction. A frame dropped, repeated, reordered or sent back the other way then fails
// to open, and so does the first frame after an offer or answer that the two ends saw
// differently. Sealed frames carry no nonce on the wire: length, ciphertext, tag.
class SealedStream
{
public:
    static constexpr int tagBytes = crypto_aead_chacha20poly1305_ietf_ABYTES;
    static constexpr int nonceBytes = crypto_aead_chacha20poly1305_ietf_NPUBBYTES;
    static constexpr int keyBytes = crypto_aead_chacha20poly1305_ietf_KEYBYTES;

    SealedStream();
    ~SealedStream();
    SealedStream(const SealedStream &) = delete;
    SealedStream &operator=(const SealedStream &) = delete;

    // Back to an empty transcript and no keys, for a new session on a new connection.
    void reset();
    // Adds a frame's plaintext, sent or received before the switch, to the transcript.
    void recordOutgoing(const QByteArray &plaintext);
    void recordIncoming(const QByteArray &plaintext);
    // Derives both keys and switches: from here on frames are sealed. false when the key
    // exchange cannot give session keys.
    bool open(const Crypto &own, const QByteArray &peerPublicKey, bool asSender);
    bool isOpen() const { return opened; }

    // Seals the next outgoing frame into message, which must have room for size + tagBytes and
    // may be where the plaintext is.
    void sealInto(const char *plaintext, int size, char *message);
    // Opens the next incoming frame; false, with nothing in plaintext, when it does not verify
    // as the next frame of this direction.
    bool openInto(const char *message, int size, QByteArray &plaintext);
    // The same in place: the plaintext (size - tagBytes) replaces the message's beginning.
    bool openInPlace(char *message, int size);

    // The key and transcript hash a derivation would use: for tests that check the construction
    // against an independent one.
    static QByteArray deriveKey(const QByteArray &exchangeKey, const QByteArray &senderTranscript,
        const QByteArray &receiverTranscript);

private:
    static void nonceFor(quint64 counter, unsigned char *nonce);
    static void record(crypto_generichash_state &state, const QByteArray &plaintext);

    crypto_generichash_state outgoingTranscript;
    crypto_generichash_state incomingTranscript;
    std::unique_ptr<Aead> sending;
    std::unique_ptr<Aead> receiving;
    quint64 sent = 0;
    quint64 received = 0;
    bool opened = false;
};
