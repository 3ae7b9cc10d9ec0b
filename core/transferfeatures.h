#pragma once

#include <QString>
#include <QStringList>

// The extensions of the transfer protocol that this build speaks, announced under "features"
// in host information, offers and responses. A session uses one only when both ends announced it.
namespace TransferFeatures {

// Resumption confirmed against the sender's files: the receiver sends a digest of every prefix it
// holds, and the sender says which of them match its own. Only in a sealed stream.
inline const QString checkedResume = QStringLiteral("checked-resume");
// Either end may stop a running transfer and say so: the receiver in a frame of its own, the
// sender with an empty data frame (data frames are otherwise never empty).
inline const QString cancel = QStringLiteral("cancel");
// An offer may continue over further frames before the receiver answers.
inline const QString list = QStringLiteral("list");
// The receiver confirms, after the last data frame, that every file is saved (or why not).
inline const QString receipt = QStringLiteral("receipt");
// After the answer, one key per direction, bound to what both ends exchanged before, and frames
// numbered in each direction.
inline const QString sealed = QStringLiteral("sealed");
// The offer and the answer carry each end's identity key and its signature over this
// connection's keys and its role, so that a paired device is known by its key. Only together
// with "sealed".
inline const QString identity = QStringLiteral("identity");
// An offer may carry a text instead of files: its one entry, marked "text", is the text's UTF-8
// bytes, which come after acceptance in the sealed stream and are kept in memory, never written
// to a file. A receiver without it saves the entry as the file it looks like. Only together
// with "sealed".
inline const QString text = QStringLiteral("text");
// In the sealed stream, frames with a 32-bit length of up to 1 MiB of data, and data frames that
// run on from one file into the next. Only together with "sealed".
inline const QString wideFrames = QStringLiteral("wide-frames");

// All of them, in ascending order.
QStringList supported();

} // namespace TransferFeatures
