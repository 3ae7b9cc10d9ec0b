#pragma once

#include <QByteArray>
#include <QString>

namespace tarsel {

// Decodes text in a character encoding given by name ("UTF-8", "ISO-8859-1", "GBK", ...). Qt 5
// knows the names through QTextCodec, Qt 6 through QStringDecoder; both take the same names.
class TextDecoder
{
public:
    // An unknown or empty name gives a decoder that is not valid.
    explicit TextDecoder(const QByteArray &encoding);
    // The encoding of the user's locale.
    static TextDecoder forLocale();

    bool isValid() const { return !m_encoding.isEmpty(); }
    QByteArray encoding() const { return m_encoding; }
    // Text of a decoder that is not valid is decoded as UTF-8.
    QString decode(const QByteArray &data) const;

private:
    QByteArray m_encoding;
};

} // namespace tarsel
