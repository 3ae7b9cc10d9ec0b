#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a --text option: the value itself, or standard input for "-". Reads at most one
// byte more than sharedtext::maxTextBytes, which tells a text that is too long from one that
// fits without reading an endless input.
QByteArray textArgument(const QString &value);

// The text of a --text option, checked: true with the text, or false after saying on standard
// error why it cannot be used (too long, or noText: empty or not UTF-8).
bool checkedTextArgument(const QString &value, const QString &noText, QString *text);
