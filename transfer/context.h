#pragma once

#include "transfer/crypto.h"
#include "transfer/filemetadata.h"
#include "transfer/framepipeline.h"
#include "transfer/sealedstream.h"
#include "transfer/transferevents.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <memory>

class Identity;
class QJsonObject;
class QJsonValue;
class QTcpSocket;

// One TCP connection between a sending and a receiving device. Both sides first write their raw
// 32-byte X25519 public key; after it the stream is a sequence of frames, each a big-endian
// 16-bit length followed by one encrypted message. The context owns the socket, runs the key
// exchange, cuts the stream into frames and hands each decrypted message to its subclass.
class Context : public QObject
{
    Q_OBJECT

public:
    enum SessionState : int {
        AwaitingKey = 0,
        Negotiating = 1,
        Transferring = 2,
        Finished = 3,
    };

    // The length field of a frame is 16 bits wide.
    static constexpr int maxMessagePerFrame = 0xFFFF;
    static constexpr int maxPlaintextPerFrame = maxMessagePerFrame - Crypto::messageOverhead;
    // Entries one offer may hold, over all its frames: bounds what a receiver keeps in memory.
    static constexpr int maxOfferedFiles = 500000;
    // A peer that has not completed its part of the handshake by then is given up.
    static constexpr int defaultTimeLimitMsec = 30000;
    // An offer nobody answers is refused after this long, in the window and in the command.
    static constexpr int answerTimeLimitSeconds = 7;
    // A device that does not accept a connection by then is given up, in the window and in the
    // command.
    static constexpr int connectTimeLimitMsec = 5000;

    // The first byte of every sealed frame's plaintext says what the rest is.
    enum class FrameKind : char {
        Data = 0,
        Control = 1,
    };
    // The plaintext of one sealed frame: its kind and at most this much after it.
    static constexpr int maxSealedPayload = maxMessagePerFrame - SealedStream::tagBytes - 1;
    // Under "wide-frames" the length field is 32 bits wide and a sealed frame holds its kind and
    // at most this much after it.
    static constexpr int maxWidePayload = 1 << 20;
    static constexpr int maxWideMessage = 1 + maxWidePayload + SealedStream::tagBytes;

    Context(QTcpSocket *connection, QObject *parent);

    // A frame of the base stream (every frame before the switch to the sealed one).
    virtual void handleMessage(QByteArray plaintext) = 0;
    // A frame of the sealed stream, without its kind byte. Only sessions that seal get any.
    virtual void handleSealed(FrameKind kind, const QByteArray &payload);
    virtual void onHandshakeDone() = 0;
    virtual void response(bool accepted) = 0;
    // A line for the offer's confirmation, such as how much of it arrived in an earlier session.
    virtual QString offerNote() const { return QString(); }
    // The user stops the session: it fails with a line saying so, and the peer is told in the
    // way it understands (at least by the connection closing).
    virtual void cancel();

    void startHandshake();
    // A message: in the sealed stream a control frame, in the base stream a frame as it is.
    void sendMessage(const QByteArray &plaintext);
    // Whether frames are sealed from here on.
    bool isSealed() const { return sealed.isOpen(); }
    // Completes now what the cipher's threads hold: frames received reach the session, frames
    // sealed reach the socket. For callers that run no event loop between reads.
    void settle();
    // The most a sealed data frame carries after its kind byte in this session.
    int sealedPayloadLimit() const { return lengthBytes == wideLengthBytes ? maxWidePayload : maxSealedPayload; }

    SessionState sessionState() const { return state; }
    // The six digits both users compare, once the keys are exchanged.
    QString verificationCode() const { return crypto.verificationCode(); }
    // Bytes of all the offer's files, the number of files, and the one in progress.
    quint64 totalSize() const { return totalBytes; }
    int fileCount() const { return metadata.size(); }
    // Bytes of the offer at the receiving end so far, earlier sessions' included.
    quint64 doneBytes() const { return transferred; }
    int fileIndex() const { return current; }
    // Of doneBytes, the data bytes moved by this session itself.
    virtual quint64 movedThisSession() const { return 0; }
    QString currentFileName() const { return current < metadata.size() ? metadata.at(current).filename : QString(); }
    bool hasFailed() const { return failed; }
    // Whether both ends announced this extension (one of TransferFeatures).
    bool uses(const QString &feature) const { return agreedFeatures.contains(feature); }

    // How long the peer may take for the key exchange (and, on the receiving side, for the
    // metadata that follows it). Tests shorten it.
    int timeLimit() const { return timeLimitMsec; }
    void setTimeLimit(int msec);

    // The identity this side proves under "identity" (Identity::own() unless set; tests use
    // two). Set before the key exchange; not owned.
    void setIdentity(const Identity *identity);
    // Who the peer proved to be: Unproven until its proof has been checked (receiving side:
    // with the offer, sending side: with the answer).
    PeerIdentity peerIdentity() const { return peer; }
    // The user compared the code and wants the peer remembered: when the offer is accepted, a
    // peer that proved its identity is paired here (and the receiving side asks the sender to
    // pair it too). Set before the answer.
    void setPairOnAccept(bool pair) { pairOnAccept = pair; }

signals:
    void printLogMsg(QString msg);
    void updateProgressBar(double progress);
    void raiseErrorMsg(QString msg);
    void raiseEndSignal();
    void metaDataReady(QVector<FileMetadata> metadata, qulonglong totalSize, QString deviceName, QString keyDigit);

    // The same course as values, for the commands, the notices and every new feature. A session
    // ends with exactly one of transferFailed and transferFinished.

    // Both ends hold the session key: the code the users compare.
    void keysAgreed(QString verificationCode);
    // Receiving side: the offer waits for the user's decision (metaDataReady is emitted with it).
    void offered(TransferOffer offer);
    // Sending or writing of the file at index starts.
    void fileStarted(int index);
    void progressed(TransferAmount progress);
    void transferFailed(TransferFailure failure);
    // Every file is delivered; the session still closes its connection.
    void transferFinished(TransferResult result);
    // The peer's proof has been checked: receiving side just before offered, sending side
    // when the answer came.
    void peerIdentified(PeerIdentity identity);
    // The peer has been stored as a paired device in this session (standing Paired, its name).
    void peerPaired(PeerIdentity identity);

private slots:
    void receiveSocketData();

protected slots:
    virtual void handleSocketError();

protected:
    // Keeps those of the peer's announced extensions that this build speaks too.
    void agreeFeatures(const QJsonValue &announced);
    // Switches to the sealed stream, after the answer to the offer; false (the session has
    // failed) when no keys can be derived.
    bool sealStream(bool asSender);
    // One frame exactly as given; in the sealed stream it starts with its kind.
    void sendFrame(const char *plaintext, int size);
    // A sealed data frame, filled in place: at most payload file bytes (no more than
    // sealedPayloadLimit()) go at message() + 1. Empty while frames wait to be sealed or sent beyond what a
    // session keeps ahead (maxAheadBytes); it then asks again on sealedFramesSent().
    FramePipeline::Frame takeDataFrame(int payload, qint64 maxAheadBytes);
    // Seals the frame behind those before it and sends it; payload counts the bytes after the kind.
    void queueDataFrame(FramePipeline::Frame frame, int payload);
    void dropDataFrame(FramePipeline::Frame frame);
    // Sealed frames have gone to the socket: there may be room for more.
    virtual void sealedFramesSent() { }
    // Takes every frame the peer sent before an error or a close, so that a peer that closes
    // right after its last frame is heard to the end.
    void settleIncoming();
    // A sealed frame did not open, or the peer said that one of ours did not: the session ends
    // with the same words on both sides.
    void failTampered();
    bool wasTampered() const { return tampered; }
    // Starts over on a new connection to the same peer: a new key pair and a new handshake.
    void restartOn(QTcpSocket *connection);

    using Failure = TransferFailure::Kind;
    // Reports a failure once, msg to the window and kind with detail as a value; afterwards
    // nothing that arrives reaches the subclass any more.
    void fail(Failure kind, const QString &msg, const QString &detail = QString());
    void emitProgress();
    // The typed end, once: later failures and finishes are not reported.
    void reportFailure(const TransferFailure &failure);
    void emitFinished(const QString &folder = QString(), const QString &text = QString());

    // This connection's proof of the own identity, for the offer or the answer (empty without a
    // valid identity).
    QJsonObject ownIdentityProof(bool asSender) const;
    // Checks the peer's "identity" value against this connection's keys and sets
    // peerIdentity() for a peer announcing itself by name; a proof that does not verify is
    // logged and proves nothing.
    void checkPeerProof(const QJsonValue &proof, bool peerIsSender, const QString &name);
    // Stores the proven peer as a paired device under name and reports it; false when it proved
    // nothing.
    bool pairPeer(const QString &name);
    // Whether "identity" is in force in this session: both announced it, and it is sealed.
    bool provesIdentity() const;
    bool pairOnAccept = false;
    PeerIdentity peer;

    SessionState state;
    QTcpSocket *socket;
    Crypto crypto;
    SealedStream sealed;
    QByteArray receiveBuffer;
    QVector<FileMetadata> metadata;
    // The file being sent or written: an index into metadata.
    int current = 0;
    quint64 totalBytes;
    quint64 transferred;
    QStringList agreedFeatures;

private:
    void attach(QTcpSocket *connection);
    void processReceived();
    void handshakeTimedOut();
    void startPipelines();
    void stopPipelines();
    qint64 pull(char *to, qint64 most);
    // Hands bytes straight to the system while nothing waits in the socket's own buffer, as
    // many as it takes without waiting, so that they are copied once rather than into that
    // buffer first. Returns how many went; the socket writes the rest after them.
    qint64 sendDirect(const char *data, qint64 size);
    void readSealedFrames();
    bool deliverOpened();
    bool sendSealed();

    static constexpr int readSlice = 4 * (maxMessagePerFrame + 2);
    // What the socket may buffer before the key exchange: a session that has not shown its key
    // holds little memory however much its peer sends.
    static constexpr qint64 preKeyReadBufferBytes = Crypto::keyBytes;

    const Identity *identity = nullptr;
    // The peer's address as it was when the keys were exchanged: where a paired device was last.
    QHostAddress peerAddressSeen;
    bool failed = false;
    bool tampered = false;
    bool endReported = false;
    QByteArray peerPublicKey;
    // Reused for every frame: a fresh 64 KB buffer per frame costs more than the cipher, as the
    // allocator hands the memory back to the system and faults it in again each time.
    QByteArray frameBuffer;
    QByteArray plaintextBuffer;
    int timeLimitMsec = defaultTimeLimitMsec;
    QTimer handshakeTimer;

    static constexpr int socketWriteSlice = 32 * 1024;
    static constexpr int narrowLengthBytes = 2;
    static constexpr int wideLengthBytes = 4;
    // Frames each pipeline holds at most: enough for the cipher, the socket and the files to
    // overlap, few enough to bound memory (a few MiB per direction).
    static constexpr int pipelineDepth = 4;
    // Of the sealed stream: the length field's width in both directions.
    int lengthBytes = narrowLengthBytes;
    // Once the stream is sealed, each direction of `sealed` belongs to its pipeline's thread
    // (outgoing to sealing, incoming to opening); this thread only hands frames in and out.
    // Declared after `sealed`, so that they stop before it goes.
    std::unique_ptr<FramePipeline> sealing;
    std::unique_ptr<FramePipeline> opening;
    // The incoming frame being read: its length field, then its message.
    unsigned char incomingHead[wideLengthBytes] = {};
    int incomingHeadBytes = 0;
    FramePipeline::Frame incoming;
    int incomingBytes = 0;
    bool readingMessage = false;
};
