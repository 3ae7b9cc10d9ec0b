#pragma once

#include "transfer/sendlist.h"
#include "transfer/transferevents.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

// The terminal's words and exit statuses for what a transfer session reports.
class TransferTexts
{
    Q_DECLARE_TR_FUNCTIONS(TransferTexts)

public:
    enum class Side { Sending, Receiving };

    // The line for a failure; empty where the command itself has said it (an offer declined
    // here). keysAgreed: the session got past the key exchange.
    static QString failureText(const TransferFailure &failure, Side side, bool keysAgreed);
    // refused and unanswered for an offer declined or left unanswered, failure otherwise.
    static int exitStatus(const TransferFailure &failure);
    // "继续上次未完成的传输（已收到 n%）" for an offer that continues an earlier session.
    static QString resumeNote(const TransferOffer &offer);
    // Why a file or folder given on the command line was not listed: the path, then the reason.
    static QString refusalText(const SendRefusal &refusal);
    // What the offer says of the sender's proven identity: "已配对：NAME" for a paired device, a
    // warning for a device that uses a paired device's name without its key; empty otherwise.
    static QString standingNote(const PeerIdentity &peer);
    // The "peer" object of the JSON events: "standing" ("unproven", "paired", "unpaired",
    // "not-the-paired-device"), "fingerprint" of a proven key, "name" of a paired device.
    static QJsonObject peerFields(const PeerIdentity &peer);
};
