#pragma once

#include "transfer/filemetadata.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

// What a transfer session reports to whoever shows it: values, never sentences. The front ends
// choose the words, the exit codes and the notices.

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
};

Q_DECLARE_METATYPE(TransferOffer)
Q_DECLARE_METATYPE(TransferAmount)
Q_DECLARE_METATYPE(TransferFailure)
Q_DECLARE_METATYPE(TransferResult)
