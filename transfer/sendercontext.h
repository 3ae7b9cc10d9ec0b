#pragma once

#include "transfer/context.h"

#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QSharedPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

// The sending end of a transfer session: announces the files, waits for the receiver's decision
// and then streams the contents, one encrypted frame at a time, reading the next chunk only
// while the socket holds less than a few frames.
//
// A list too long for one frame is offered in its first frame as far as it fits, with the count
// of the entries still to come. A receiver that speaks lists asks for the rest before it
// answers; any other receiver answers the part it saw, and the files are then sent in
// consecutive sessions of lists that fit, each on a new connection with its own acceptance.
class SenderContext : public Context
{
    Q_OBJECT

public:
    // Plaintext of one data frame.
    static constexpr qint64 maxDataPerFrame = 64000;
    // What the socket may hold before the next chunk is read.
    static constexpr qint64 writeAheadBytes = 4 * (maxDataPerFrame + 2 + Crypto::messageOverhead);
    // In the sealed stream, sealed frames and those waiting for the cipher, in frames.
    static constexpr qint64 sealedAheadFrames = 4;
    // What this side puts in a data frame under "wide-frames" (the peer takes up to 1 MiB): a
    // frame stays within a core's cache while it is read, sealed and copied to the socket, and
    // still holds 64 small files of 4 KiB.
    static constexpr int wideDataPerFrame = 256 * 1024;
    // How long the receiver may take to confirm the files after the last data frame.
    static constexpr int defaultReceiptTimeLimitMsec = 30000;

    // names: the send list, parallel to files; the first of each pair is the announced name.
    // Only the files' names are used: the session opens each file itself when it reaches it.
    SenderContext(QTcpSocket *connection, QList<QSharedPointer<QFile>> files,
        const QList<QPair<QString, QString>> &names, QObject *parent);

    // A text, offered as one file named by the time it was sent (textFileName) whose content is
    // the text's UTF-8 bytes, and marked "text" for a receiver that takes texts. Its bytes are
    // read from memory, never from a file on disk.
    SenderContext(QTcpSocket *connection, const QString &text, const QDateTime &sent, QObject *parent);
    // "文字-2026-12-08-10.15.30.txt": the name of a text sent at that local time.
    static QString textFileName(const QDateTime &sent);

    void handleMessage(QByteArray plaintext) override;
    void handleSealed(FrameKind kind, const QByteArray &payload) override;
    void onHandshakeDone() override;
    void response(bool accepted) override;
    void cancel() override;

    void setReceiptTimeLimit(int msec) { receiptTimeLimitMsec = msec; }
    // The name this side knows the receiver by (the device list's name, or the address the user
    // gave): what a paired receiver is stored as, and what tells a device that uses a paired
    // device's name without its key.
    void setPeerName(const QString &name) { peerName = name; }
    quint64 movedThisSession() const override { return sessionBytes; }

signals:
    // The receiver knows no lists: the files go in this many sessions, each accepted on its own.
    void sentInBatches(int sessions);

protected slots:
    void handleSocketError() override;

private slots:
    void writeByteToSocket();

private:
    // Entries [first, first + count) as one frame; the head frame of an offer also names the
    // device and, under "more", how many entries follow in further frames.
    QByteArray offerFrame(int first, int count, bool head, int more) const;
    // The frame from entry first holding as many entries as fit, and their count (0 when not
    // even one fits). A head frame states under "more" the entries after it when moreAfter.
    QByteArray fittingOfferFrame(int first, bool head, bool moreAfter, int *count) const;
    int batchCount() const;
    void handleAnswer(const QJsonObject &answer);
    void sendRestOfList();
    // The receiver's held prefixes, and the answer to them once all have come.
    void takeHeld(const QJsonValue &entries);
    void sendVerdicts(const QVector<QByteArray> &ownDigests);
    void handleReceipt(const QJsonObject &receipt);
    // In the sealed stream the receiver hears why the sender stopped.
    void tellReceiver(const QString &error);
    // Opens the file at its turn; fails the session when it cannot be read any more.
    bool openForReading(int index);
    // A descriptor of an anonymous file in memory holding the text, at its start; -1 on failure.
    int textDescriptor() const;
    bool sendNextChunk();
    // Starts the file at current: opened, checked, placed after what the receiver holds.
    bool startFile();
    // One sealed data frame: under "wide-frames" the bytes of as many files as fit.
    bool sendSealedFrame();
    void sealedFramesSent() override { writeByteToSocket(); }
    // Queues what a frame holds when a file after those in it fails: the files it finishes are
    // complete at the other end. Called before the failure is told.
    void sendPartialFrame();
    void startNextBatch();
    void finish();

    // A prefix of a file that the receiver says it holds.
    struct HeldClaim
    {
        int index;
        quint64 bytes;
        QByteArray digest;
    };

    QString peerName;
    // This connection's proof of the own identity, in the offer's head frame.
    QJsonObject offerProof;
    QStringList paths;
    // A text session's bytes (null for files).
    QByteArray textUtf8;
    bool sendsText = false;
    QFile source;
    QVector<quint64> offsets;
    QVector<HeldClaim> claims;
    int claimsToCome = 0;
    bool checkingClaims = false;
    // Data bytes sent in this session, which the end frame states.
    quint64 sessionBytes = 0;
    bool endSent = false;
    // The receiver stopped, or was told why this side did: nothing more goes to it.
    bool receiverDone = false;
    QVector<int> entrySizes;
    // Whether each path named a regular file when the session was set up.
    QVector<bool> regularFiles;
    // The files of the running session: [batchStart, batchEnd); offeredEnd is where the first
    // frame of its offer stopped.
    int batchStart = 0;
    int batchEnd = 0;
    int offeredEnd = 0;
    bool batched = false;
    bool restSent = false;
    quint64 remaining = 0;
    bool announceNext = true;
    bool awaitingReceipt = false;
    bool receiptReceived = false;
    int receiptTimeLimitMsec = defaultReceiptTimeLimitMsec;
    QTimer receiptTimer;
    QByteArray readBuffer;
    // The frame being filled when a file fails, and the bytes of it that are good.
    FramePipeline::Frame partialFrame;
    int partialBytes = 0;
};
