#pragma once

#include "transfer/transferevents.h"

#include <QObject>
#include <QString>

#include <memory>

class ProgressLine;
class ReceiverContext;

// One incoming transfer session as the terminal shows it: its log lines, the offer (sender,
// files, verification code), the progress once accepted, and how it ended.
class ReceiveSession : public QObject
{
    Q_OBJECT

public:
    // Takes over session and starts its key exchange.
    ReceiveSession(ReceiverContext *session, QObject *parent);
    ~ReceiveSession() override;

    QString deviceName() const { return sender; }
    // Who the sender proved to be, with the offer.
    PeerIdentity peer() const { return provenPeer; }
    // The text of the window's confirmation box, without its question.
    QString offerText() const { return offer; }
    bool wasOffered() const { return !offer.isEmpty(); }
    // The offer is a text rather than files.
    bool offersText() const { return textOffered; }
    bool isTransferring() const { return accepted && !done; }
    // pair: the user compared the code and wants the sender remembered.
    void respond(bool accept, bool pair = false);
    // Nobody answered in time: refused, and the sender learns why where it can.
    void refuseUnanswered();

signals:
    void offered(ReceiveSession *session);
    // status: an exit status (success, refused, unanswered or failure).
    void ended(ReceiveSession *session, int status);

private:
    void showOffer(const TransferOffer &made);
    void end(int status);

    ReceiverContext *context;
    std::unique_ptr<ProgressLine> progress;
    QString sender;
    PeerIdentity provenPeer;
    QString offer;
    QVector<FileMetadata> offeredFiles;
    bool textOffered = false;
    bool accepted = false;
    bool keysAgreed = false;
    bool done = false;
};
