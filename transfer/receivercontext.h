#pragma once

#include "transfer/context.h"
#include "transfer/resumerecord.h"

#include <QElapsedTimer>
#include <QJsonValue>
#include <QTimer>

#include <functional>
#include <memory>

class OfferBudget;
class PrefixDigests;
class QFile;
class QJsonObject;

// The receiving end of a transfer session: turns the sender's metadata into an offer, answers
// the user's decision and writes the accepted files into a folder of their own below the
// download folder. A file is written under a temporary name and gets its real name only when
// its last byte has arrived, so an interrupted transfer never leaves a file that looks complete.
class ReceiverContext : public Context
{
    Q_OBJECT

public:
    // What one offer may announce before anyone is asked: names as a file system takes them,
    // and the bytes of all its names together.
    static constexpr int maxNameBytes = 4096;
    static constexpr int maxNameComponentBytes = 255;
    static constexpr qint64 maxOfferNameBytes = 24 * 1024 * 1024;

    ReceiverContext(QTcpSocket *connection, QObject *parent);
    ~ReceiverContext() override;

    void handleMessage(QByteArray plaintext) override;
    void handleSealed(FrameKind kind, const QByteArray &payload) override;
    void onHandshakeDone() override;
    void response(bool accepted) override;
    // Refuses the offer because nobody answered it in time; a sender that announced features
    // learns that reason.
    void refuseUnanswered();
    // Refuses a waiting offer; stops a running transfer, keeping what the resumption rules keep.
    void cancel() override;

    // Asked when an offer has arrived, before anyone is told of it; an offer it turns down is
    // refused at once (the sender sees a refusal) and metaDataReady is never emitted.
    using OfferAdmission = std::function<bool(const ReceiverContext &offering)>;
    void setOfferAdmission(OfferAdmission admission);
    // Shared by the sessions of one server: the names of all waiting offers together.
    void setOfferBudget(std::shared_ptr<OfferBudget> budget);
    // An offer has been made and is still waiting for the user's decision.
    bool offerWaiting() const;
    // The folder this session's files go into (below the download folder), once accepted.
    QString savedFolder() const { return transferRoot; }
    quint64 movedThisSession() const override { return sessionBytes; }
    QString offerNote() const override { return resumeNote; }
    // >0: the waiting or running offer is a text of this many bytes (see TransferOffer).
    quint64 offeredTextBytes() const { return textOffer ? totalBytes : 0; }

signals:
    // Every accepted file is complete under its name below downloadFolder.
    void filesSaved(const QString &downloadFolder);

private:
    void answer(bool accepted, bool unanswered);
    void handleMetadata(const QByteArray &plaintext);
    // Adds a frame's entries to the offer; false when the session ended on one of them.
    bool takeEntries(const QJsonObject &frame);
    void offerComplete();
    // Ends a session whose offer nobody is shown: it is logged, and the connection closed.
    void refuseUnshown(const char *why);
    void releaseBudget();
    void sendErrorReceipt(const QString &error);
    void handleControl(const QJsonObject &control);
    void sendHeldPrefixes(const QVector<QByteArray> &digests);
    void takeVerdicts(const QJsonValue &verdicts);
    void writeData(const QByteArray &data);
    bool createTransferFolder();
    void openNextFile();
    bool completeCurrentFile();
    // Gives the file whose last byte came, still waiting for the end, its name.
    void completeWrittenFile();
    void finishReceiving();
    // Fails with the local text; the peer reads peerText, which names no local path.
    void failWriting(Failure kind, const QString &path, const QString &localText, const QString &peerText);
    static Failure writeFailureKind(int error);
    QString writeFailure(int error, const QString &name) const;
    void discardPartialFile();
    // What a session that saved nothing leaves: its dated folder and the folders made in it.
    void removeEmptyFolders();
    // With a record, keeps what is written and brings the record up to date; otherwise removes
    // the file in progress.
    void keepOrDiscard();
    void saveRecord();
    void matchEarlierSession();
    // Closes the made folder's descriptor; the next file makes and opens its folder again.
    void forgetMadeFolder();
    // Creates the partial file of current (it must not exist yet), or opens the one an earlier
    // session left with kept bytes confirmed.
    bool openNewPartialFile();
    bool openPartialFile(quint64 kept);
    void metadataTimedOut();
    // Checks a text offer before anyone is asked; false when it was refused.
    bool admitText(const QJsonObject &offer);
    void takeText(const QByteArray &data);
    void finishText();
    // Whether this session keeps a record and continues from one.
    bool keepsRecord() const;

    QFile *currentFile = nullptr;
    // How many bytes of the file being written (current) are still to come.
    quint64 remaining = 0;
    // Entries of the offer still to come in further frames.
    int entriesToCome = 0;
    bool senderAnnounced = false;
    // The offer's "identity" value, checked when the offer is complete.
    QJsonValue senderProof;
    // An error receipt is on its way: the connection is closed gently, not reset.
    bool lingerOnClose = false;
    // The sender stopped the transfer, or told of its failure: it hears nothing more.
    bool senderEnded = false;
    // The download folder, read once per session: whatever the settings say later, the
    // session's files, record and notices stay in one place.
    QString downloadRoot;
    // The record of this session (null without one): found for an earlier session it continues,
    // or made at acceptance.
    ResumeRecord record;
    bool recordSaved = false;
    bool recordClosed = false;
    bool continuesEarlier = false;
    QElapsedTimer recordClock;
    QString resumeNote;
    quint64 heldBytes = 0;
    // What the folder holds of each file, and what of it the sender confirmed.
    QVector<ResumeRecord::Held> held;
    QVector<int> heldIndices;
    QVector<quint64> kept;
    int verdictsToCome = 0;
    PrefixDigests *digests = nullptr;
    // The data bytes of this session, which the sealed stream's end frame states.
    quint64 sessionBytes = 0;
    quint64 expectedBytes = 0;
    bool awaitingEnd = false;
    bool endReceived = false;
    QString peerError;
    QString deviceName;
    QString transferFolder;
    QString transferRoot;
    QString currentTarget;
    // The partial file being written, and the last parts of its path and of currentTarget's.
    QString currentTemporary;
    QByteArray temporaryName;
    QByteArray targetName;
    // The folder the last file went into, made already, and a descriptor of it (-1 when it could
    // not be opened): its files are made and named relative to it, so that a tree of many small
    // files does not walk the whole path for each of them.
    QString madeFolder;
    int madeFolderDescriptor = -1;
    quint64 partialBase = 0;
    qint64 nameBytes = 0;
    qint64 budgetTaken = 0;
    std::shared_ptr<OfferBudget> offerBudget;
    // The offer is a text that both ends agreed to keep in memory; its bytes so far.
    bool textOffer = false;
    QByteArray receivedText;
    bool metadataReceived = false;
    bool answered = false;
    bool acceptedOffer = false;
    OfferAdmission offerAdmission;
    QTimer metadataTimer;
};
