#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// A text that a browser or another device hands over instead of a file: a link, an address, a
// password, a paragraph. Bounded in size, shown as plain text only, never run or opened by itself.
namespace sharedtext {

// The most a text may take, in UTF-8 bytes; more is refused, not cut.
constexpr int maxTextBytes = 1024 * 1024;

// Whether utf8 is a text that may be taken: not empty, within maxTextBytes, valid UTF-8.
bool acceptable(const QByteArray &utf8);

// The text as it was sent, line ends made "\n" (browsers send "\r\n" from a text box).
QString normalized(const QString &text);

// The text made fit for a plain-text widget or a terminal: line breaks and tabs stay; control
// characters and marks that reorder text are neutralised as in peer names (peerText).
QString shown(const QString &text);

// The start of the text on one line of at most about characters characters, line breaks and
// tabs as blanks, neutralised as shown(): for a list row or a notice.
QString oneLine(const QString &text, int characters);

// The link when the whole text, leading and trailing blanks aside, is one http or https URL with
// a host and no blank inside; otherwise an empty URL. Anything else (javascript:, file:, a
// sentence that holds a link) is never offered to be opened.
QUrl singleLink(const QString &text);

} // namespace sharedtext
