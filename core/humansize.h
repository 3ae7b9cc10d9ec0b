#pragma once

#include <QString>

// A size for people, in units of 1000 as the desktop's file manager shows them: B, KB, MB, GB,
// TB, with at most three significant digits ("512 B", "1.5 KB", "123 MB", "4.7 GB"). Below zero
// reads as "0 B"; beyond TB the number keeps growing in TB.
QString humanSize(qint64 bytes);

// A duration as a clock reads it: "0:07", "12:34", "1:02:03" (minutes padded once hours show).
QString humanDuration(qint64 seconds);
