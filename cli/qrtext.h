#pragma once

#include <QStringList>

class QrMatrix;

// Modules of light colour around the symbol, as the QR standard asks.
constexpr int qrQuietZoneModules = 4;

// The symbol as lines of Unicode half blocks, two module rows per line, with the quiet zone.
// Light modules are the drawn ones, so that the code reads right on the usual dark terminal
// background: "█" both light, "▀" upper light, "▄" lower light, " " both dark.
QStringList qrTextLines(const QrMatrix &matrix);

// Prints link and, below it, its QR code; says so when the link is too long for one.
void printLinkWithQrCode(const QString &link);
