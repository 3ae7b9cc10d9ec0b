#include "sealedstream.h"

#include "transfer/aead.h"
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

SealedStream::~SealedStream() = default;

void SealedStream::reset()
{
    crypto_generichash_init(&outgoingTranscript, nullptr, 0, transcriptBytes);
    crypto_generichash_init(&incomingTranscript, nullptr, 0, transcriptBytes);
    sending.reset();
    receiving.reset();
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
    const QByteArray sendKey = deriveKey(
        QByteArray::fromRawData(reinterpret_cast<const char *>(toPeer), sizeof toPeer), fromSender, fromReceiver);
    const QByteArray receiveKey = deriveKey(
        QByteArray::fromRawData(reinterpret_cast<const char *>(fromPeer), sizeof fromPeer), fromSender, fromReceiver);
    sending = std::make_unique<Aead>(reinterpret_cast<const unsigned char *>(sendKey.constData()));
    receiving = std::make_unique<Aead>(reinterpret_cast<const unsigned char *>(receiveKey.constData()));
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
    sending->seal(nonce, reinterpret_cast<const unsigned char *>(plaintext), size, reinterpret_cast<unsigned char *>(message));
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
    if (!receiving->open(nonce, reinterpret_cast<const unsigned char *>(message), size,
            reinterpret_cast<unsigned char *>(plaintext.data()))) {
        plaintext.clear();
        return false;
    }
    ++received;
    return true;
}

bool SealedStream::openInPlace(char *message, int size)
{
    if (size < tagBytes)
        return false;
    unsigned char nonce[nonceBytes];
    nonceFor(received, nonce);
    auto *bytes = reinterpret_cast<unsigned char *>(message);
    if (!receiving->open(nonce, bytes, size, bytes))
        return false;
    ++received;
    return true;
}
