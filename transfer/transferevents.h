#pragma once

#include "transfer/filemetadata.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

// What a transfer session reports to whoever shows it: values, never sentences. The front ends
// choose the words, the exit codes and the notices.

// Who the peer of a session proved to be. Filled once the peer's proof of its identity key
// has been checked (on the receiving side before the offer is reported, on the sending side
// with the answer).
struct PeerIdentity
{
    Q_GADGET

public:
    enum class Standing {
        // The peer proved no identity: a base peer or an earlier Orvex. Nothing changes for it.
        Unproven,
        // The peer proved the key of a paired device.
        Paired,
        // The peer proved a key that is not paired here.
        Unpaired,
        // The peer announces the name of a paired device but proved another key, or none:
        // someone else using its name, or that device reinstalled, which must be paired again.
        NotThePairedDevice,
    };
    Q_ENUM(Standing)

    Standing standing = Standing::Unproven;
    // The proven 32-byte identity key; empty when Unproven.
    QByteArray key;
    // For Paired: the name the user knows the device by, and whether its offers are accepted
    // without asking.
    QString pairedName;
    bool autoAccept = false;
};

// An offer waiting for the receiving user's decision.
struct TransferOffer
{
    QVector<FileMetadata> files;
    quint64 totalBytes = 0;
    // As the sender announced it: untrusted text.
    QString deviceName;
    // The six digits both users compare.
    QString verificationCode;
    // Bytes an earlier, interrupted session of the same offer already left in the download
    // folder; the transfer continues after them once the sender has confirmed them.
    quint64 heldBytes = 0;
    PeerIdentity peer;
    // >0: the offer is a text of this many UTF-8 bytes (at most 1 MiB) instead of files; the
    // text itself comes only after acceptance. files then holds the one entry a base receiver
    // would save it as.
    quint64 textBytes = 0;
};

// Progress: bytes of the whole offer at the receiving end (earlier sessions' included), and the file in
// progress: an index into the offer's files.
struct TransferAmount
{
    quint64 doneBytes = 0;
    quint64 totalBytes = 0;
    int fileIndex = 0;
    // Of doneBytes, those moved by this session.
    quint64 sessionBytes = 0;
};

// Why a session ended without its files, with a detail whose meaning depends on the kind.
struct TransferFailure
{
    Q_GADGET

public:
    enum class Kind {
        // The receiving user said no (on the receiving side: this side said no).
        Declined,
        // Nobody answered the offer in time, and it was refused.
        Unanswered,
        // The peer did not take its next step in time: the key exchange, the offer, the
        // receipt. No detail.
        TimedOut,
        // The user here stopped the transfer.
        CancelledHere,
        CancelledByPeer,
        // The sender offered a name that would write outside the transfer folder; detail: it.
        UnsafeName,
        DiskFull,
        // A file or folder could not be created or written here; detail: its path.
        WriteError,
        // A file to send could not be opened or changed while being sent; detail: its name.
        ReadError,
        // The connection broke or could not be made; detail: the system's words for it.
        Network,
        // A frame did not open, or the peer said that one of ours did not.
        Tampered,
        // The peer sent what the protocol does not allow, or this side could not put its
        // offer into frames; detail: a file name where one is concerned.
        Protocol,
        // The peer stopped and said why in its own words, which are the detail (untrusted).
        PeerFailed,
        // A text offer this side does not take: over 1 MiB, more than its one entry, empty, or
        // bytes that are not UTF-8.
        TextRefused,
    };
    Q_ENUM(Kind)

    Kind kind = Kind::Protocol;
    QString detail;
};

// A session that ended with every file delivered. On the receiving side, folder is the folder
// below the download folder that holds this session's files.
struct TransferResult
{
    int fileCount = 0;
    quint64 totalBytes = 0;
    QString folder;
    // On the receiving side of a text offer: the text as it arrived (valid UTF-8, not
    // neutralised); empty for files.
    QString text;
};

Q_DECLARE_METATYPE(PeerIdentity)
Q_DECLARE_METATYPE(TransferOffer)
Q_DECLARE_METATYPE(TransferAmount)
Q_DECLARE_METATYPE(TransferFailure)
Q_DECLARE_METATYPE(TransferResult)
