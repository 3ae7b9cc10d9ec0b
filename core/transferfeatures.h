#pragma once

#include <QString>
#include <QStringList>

// The extensions of the transfer protocol that this build speaks, announced under "features"
// in host information, offers and responses. A session uses one only when both ends announced it.
namespace TransferFeatures {

// Either end may stop a running transfer and say so: the receiver in a frame of its own, the
// sender with an empty data frame (data frames are otherwise never empty).
inline const QString cancel = QStringLiteral("cancel");
// An offer may continue over further frames before the receiver answers.
inline const QString list = QStringLiteral("list");
// The receiver confirms, after the last data frame, that every file is saved (or why not).
inline const QString receipt = QStringLiteral("receipt");
// An interrupted transfer continues where it stopped.
inline const QString resume = QStringLiteral("resume");

// All of them, in ascending order.
QStringList supported();

} // namespace TransferFeatures
