#pragma once

#include "transfer/crypto.h"
#include "transfer/sealedstream.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QTcpSocket>

// A far end of a transfer connection that the test scripts frame by frame, speaking the wire
// protocol with its own key pair: a hostile or broken sender, or a receiver that records frames.
class TransferPeer
{
public:
    TransferPeer() = default;
    explicit TransferPeer(QTcpSocket *accepted);
    ~TransferPeer();
    TransferPeer(const TransferPeer &) = delete;
    TransferPeer &operator=(const TransferPeer &) = delete;

    // Connects to a transfer server on 127.0.0.1 (from the address from, when given: any
    // 127.x.y.z stands for another device) and completes the key exchange.
    bool connectTo(quint16 port, const QHostAddress &from = QHostAddress());
    // Sends the own key and waits for the other side's.
    bool exchangeKeys();

    // Frames before the switch enter the transcript that the sealed stream's keys are bound to.
    QByteArray frame(const QByteArray &plaintext);
    // Switches to the sealed stream as the other end does after the answer; asSender says which
    // end this peer plays; wide: with the 32-bit lengths of "wide-frames". Sealed plaintexts
    // start with their kind byte.
    void seal(bool asSender, bool wide = false);
    void write(const QByteArray &bytes);
    void sendMessage(const QByteArray &plaintext) { write(frame(plaintext)); }
    void sendMetadata(const QJsonArray &files, const QString &deviceName = QStringLiteral("test peer"));

    // The next complete message, or a null array when none arrives within a few seconds.
    QByteArray nextMessage(int timeoutMsec = 5000);
    bool waitForDisconnected(int timeoutMsec = 5000);
    // Every message until the other side closes (or the time is up).
    QList<QByteArray> messagesUntilClosed(int timeoutMsec = 10000);

    // The other side's ephemeral key, once exchanged.
    QByteArray peerPublicKey() const { return peerKey; }

    QTcpSocket *socket;
    Crypto crypto;

private:
    bool takeMessage(QByteArray *message);

    bool owned = false;
    QByteArray buffer;
    QByteArray peerKey;
    int lengthBytes = 2;
    SealedStream sealed;
};
