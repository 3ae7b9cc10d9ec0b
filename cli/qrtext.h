#pragma once

#include <QCommandLineOption>
#include <QStringList>

class QCommandLineParser;

class QrMatrix;

// Modules of light colour around the symbol, as the QR standard asks.
constexpr int qrQuietZoneModules = 4;

// Which modules the half blocks draw, as the terminal's text colour: Dark for light text on a
// dark background (the blocks are the light modules), Light for dark text on a light background
// (the blocks are the dark modules). Colours forces white text on black for the code's lines,
// whatever the terminal's own colours, and draws as Dark.
enum class QrScheme { Colours, Dark, Light };

// The symbol as lines of Unicode half blocks, two module rows per line, with the quiet zone:
// "█" both drawn, "▀" upper drawn, "▄" lower drawn, " " neither.
QStringList qrTextLines(const QrMatrix &matrix, QrScheme scheme = QrScheme::Dark);

// The --qr option of the commands that print a link.
QCommandLineOption qrSchemeOption();
// --qr as given: "light", "dark" or nothing (colours on a terminal, dark elsewhere); false, after
// saying why, for another value.
bool takeQrScheme(const QCommandLineParser &parser, QrScheme *scheme);

// Prints link and, below it, its QR code; says so when the link is too long for one.
void printLinkWithQrCode(const QString &link, QrScheme scheme);
