#pragma once

#include <QString>

// A size for people, in units of 1000 as the desktop's file manager shows them: B, KB, MB, GB,
// TB, with at most three significant digits ("512 B", "1.5 KB", "123 MB", "4.7 GB"). Below zero
// reads as "0 B"; beyond TB the number keeps growing in TB.
QString humanSize(qint64 bytes);
