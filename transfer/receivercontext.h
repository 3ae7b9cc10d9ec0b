#pragma once

#include "transfer/context.h"
#include "transfer/resumerecord.h"

#include <QTimer>

#include <functional>

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
    ReceiverContext(QTcpSocket *connection, QObject *parent);
    ~ReceiverContext() override;

    void handleMessage(QByteArray plaintext) override;
    void onHandshakeDone() override;
    void response(bool accepted) override;
    // Refuses a waiting offer; stops a running transfer, keeping what the resumption rules keep.
    void cancel() override;

    // Received names are untrusted: only relative paths of plain parts may be written.
    static bool isSafeName(const QString &name);

    // Asked when an offer has arrived, before anyone is told of it; an offer it turns down is
    // refused at once (the sender sees a refusal) and metaDataReady is never emitted.
    using OfferAdmission = std::function<bool(const ReceiverContext &offering)>;
    void setOfferAdmission(OfferAdmission admission);
    // An offer has been made and is still waiting for the user's decision.
    bool offerWaiting() const;
    QString offerNote() const override { return resumeNote; }

signals:
    // Every accepted file is complete under its name below downloadFolder.
    void filesSaved(const QString &downloadFolder);

private:
    void handleMetadata(const QByteArray &plaintext);
    // Adds a frame's entries to the offer; false when the session failed on one of them.
    bool takeEntries(const QJsonObject &frame);
    void offerComplete();
    void sendErrorReceipt(const QString &error);
    void writeData(const QByteArray &data);
    bool createTransferFolder(const QString &downloadPath);
    void openNextFile();
    bool completeCurrentFile();
    void discardPartialFile();
    // What a session that saved nothing leaves: its dated folder and the folders made in it.
    void removeEmptyFolders();
    // With a sender that resumes, keeps what is written and a record of it; otherwise removes
    // the file in progress.
    void keepOrDiscard();
    void matchEarlierSession();
    bool openPartialFile(const QString &path, quint64 held);
    void metadataTimedOut();

    QFile *currentFile = nullptr;
    // How many bytes of the file being written (current) are still to come.
    quint64 remaining = 0;
    // Entries of the offer still to come in further frames.
    int entriesToCome = 0;
    bool senderAnnounced = false;
    // An error receipt is on its way: the connection is closed gently, not reset.
    bool lingerOnClose = false;
    // The sender stopped the transfer: it hears nothing more.
    bool senderCancelled = false;
    // The earlier session this one continues (null when none) and what it holds of each file.
    ResumeRecord resumed;
    QString resumeNote;
    QVector<quint64> held;
    bool recordKept = false;
    QString deviceName;
    QString transferFolder;
    QString transferRoot;
    QString currentTarget;
    bool metadataReceived = false;
    bool answered = false;
    bool acceptedOffer = false;
    OfferAdmission offerAdmission;
    QTimer metadataTimer;
};
