#pragma once

#include <QByteArray>
#include <QString>

// The bytes of a --text option: the value itself, or standard input for "-". Reads at most one
// byte more than sharedtext::maxTextBytes, which tells a text that is too long from one that
// fits without reading an endless input.
QByteArray textArgument(const QString &value);
