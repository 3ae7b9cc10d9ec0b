#include "sharedtext.h"

#include "core/peertext.h"

namespace sharedtext {

bool acceptable(const QByteArray &utf8)
{
    if (utf8.isEmpty() || utf8.size() > maxTextBytes)
        return false;
    // A round trip keeps valid UTF-8 byte for byte; anything else came with replaced bytes.
    return QString::fromUtf8(utf8).toUtf8() == utf8;
}

QString normalized(const QString &text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return lines;
}

QString shown(const QString &text)
{
    return peerText(normalized(text), PeerTextLines::Kept);
}

QString oneLine(const QString &text, int characters)
{
    // peerText on one line turns the line breaks into U+FFFD; a row wants blanks instead.
    QString line = normalized(text.left(characters * 4));
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
    return elideMiddle(peerText(line.simplified()), characters);
}

QUrl singleLink(const QString &text)
{
    const QString candidate = text.trimmed();
    // A link a QR code or a chat would carry; a longer "link" is a text.
    constexpr int maxLinkCharacters = 8192;
    if (candidate.isEmpty() || candidate.size() > maxLinkCharacters)
        return QUrl();
    for (const QChar c : candidate) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return QUrl();
    }
    const QUrl url(candidate, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QUrl();
    return url;
}

} // namespace sharedtext
