#include "sealedstream.h"

#include "transfer/crypto.h"

#include <cstring>

namespace {

// Separates these keys from any other use of the same exchange.
constexpr char keyLabel[] = "orvex sealed stream 1";
constexpr int transcriptBytes = 32;

const unsigned char *bytes(const QByteArray &buffer)
{
    return reinterpret_cast<const unsigned char *>(buffer.constData());
}

} // namespace

SealedStream::SealedStream()
{
    reset();
}

SealedStream::~SealedStream()
{
    sodium_memzero(sendKey, sizeof sendKey);
    sodium_memzero(receiveKey, sizeof receiveKey);
}

void SealedStream::reset()
{
    crypto_generichash_init(&outgoingTranscript, nullptr, 0, transcriptBytes);
    crypto_generichash_init(&incomingTranscript, nullptr, 0, transcriptBytes);
    sodium_memzero(sendKey, sizeof sendKey);
    sodium_memzero(receiveKey, sizeof receiveKey);
    sent = 0;
    received = 0;
    opened = false;
}

void SealedStream::record(crypto_generichash_state &state, const QByteArray &plaintext)
{
    // Each frame with its length, so that no two sequences of frames hash alike.
    const auto size = static_cast<quint32>(plaintext.size());
    const unsigned char length[4] = { static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
        static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size) };
    crypto_generichash_update(&state, length, sizeof length);
    crypto_generichash_update(&state, bytes(plaintext), static_cast<unsigned long long>(plaintext.size()));
}

void SealedStream::recordOutgoing(const QByteArray &plaintext)
{
    record(outgoingTranscript, plaintext);
}

void SealedStream::recordIncoming(const QByteArray &plaintext)
{
    record(incomingTranscript, plaintext);
}

QByteArray SealedStream::deriveKey(
    const QByteArray &exchangeKey, const QByteArray &senderTranscript, const QByteArray &receiverTranscript)
{
    const QByteArray input = QByteArray(keyLabel) + senderTranscript + receiverTranscript;
    QByteArray key(keyBytes, '\0');
    crypto_generichash(reinterpret_cast<unsigned char *>(key.data()), keyBytes, bytes(input),
        static_cast<unsigned long long>(input.size()), bytes(exchangeKey), static_cast<size_t>(exchangeKey.size()));
    return key;
}

bool SealedStream::open(const Crypto &own, const QByteArray &peerPublicKey, bool asSender)
{
    if (peerPublicKey.size() != crypto_kx_PUBLICKEYBYTES)
        return false;
    // The sender is the exchange's client: its receiving key is the receiver's sending key.
    unsigned char fromPeer[crypto_kx_SESSIONKEYBYTES];
    unsigned char toPeer[crypto_kx_SESSIONKEYBYTES];
    const int status = asSender
        ? crypto_kx_client_session_keys(fromPeer, toPeer, bytes(own.publicKey), bytes(own.secretKey), bytes(peerPublicKey))
        : crypto_kx_server_session_keys(fromPeer, toPeer, bytes(own.publicKey), bytes(own.secretKey), bytes(peerPublicKey));
    if (status != 0)
        return false;
    QByteArray outgoing(transcriptBytes, '\0');
    QByteArray incoming(transcriptBytes, '\0');
    crypto_generichash_final(&outgoingTranscript, reinterpret_cast<unsigned char *>(outgoing.data()), transcriptBytes);
    crypto_generichash_final(&incomingTranscript, reinterpret_cast<unsigned char *>(incoming.data()), transcriptBytes);
    const QByteArray &fromSender = asSender ? outgoing : incoming;
    const QByteArray &fromReceiver = asSender ? incoming : outgoing;
    const QByteArray sending = deriveKey(
        QByteArray::fromRawData(reinterpret_cast<const char *>(toPeer), sizeof toPeer), fromSender, fromReceiver);
    const QByteArray receiving = deriveKey(
        QByteArray::fromRawData(reinterpret_cast<const char *>(fromPeer), sizeof fromPeer), fromSender, fromReceiver);
    memcpy(sendKey, sending.constData(), keyBytes);
    memcpy(receiveKey, receiving.constData(), keyBytes);
    sodium_memzero(fromPeer, sizeof fromPeer);
    sodium_memzero(toPeer, sizeof toPeer);
    sent = 0;
    received = 0;
    opened = true;
    return true;
}

void SealedStream::nonceFor(quint64 counter, unsigned char *nonce)
{
    // Four zero bytes, then the frame's number as a little-endian 64-bit integer.
    memset(nonce, 0, nonceBytes);
    for (int i = 0; i < 8; ++i)
        nonce[4 + i] = static_cast<unsigned char>(counter >> (8 * i));
}

void SealedStream::sealInto(const char *plaintext, int size, char *message)
{
    unsigned char nonce[nonceBytes];
    nonceFor(sent++, nonce);
    crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char *>(message), nullptr,
        reinterpret_cast<const unsigned char *>(plaintext), static_cast<unsigned long long>(size), nullptr, 0, nullptr,
        nonce, sendKey);
}

bool SealedStream::openInto(const char *message, int size, QByteArray &plaintext)
{
    if (size < tagBytes) {
        plaintext.clear();
        return false;
    }
    unsigned char nonce[nonceBytes];
    nonceFor(received, nonce);
    plaintext.resize(size - tagBytes);
    if (crypto_aead_chacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plaintext.data()), nullptr,
            nullptr, reinterpret_cast<const unsigned char *>(message), static_cast<unsigned long long>(size), nullptr, 0,
            nonce, receiveKey)
        != 0) {
        sodium_memzero(plaintext.data(), static_cast<size_t>(plaintext.size()));
        plaintext.clear();
        return false;
    }
    ++received;
    return true;
}
