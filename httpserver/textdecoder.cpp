#include "textdecoder.h"

#include <QtGlobal>
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringDecoder>
#else
#include <QTextCodec>
#endif

namespace tarsel {

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)

TextDecoder::TextDecoder(const QByteArray &encoding)
{
    if (!encoding.isEmpty() && QStringDecoder(encoding.constData()).isValid())
        m_encoding = encoding;
}

// Qt 6 takes the locale's encoding on Linux to be UTF-8.
TextDecoder TextDecoder::forLocale()
{
    return TextDecoder(QStringConverter::nameForEncoding(QStringConverter::System));
}

QString TextDecoder::decode(const QByteArray &data) const
{
    if (!isValid())
        return QString::fromUtf8(data);
    QStringDecoder decoder(m_encoding.constData());
    return decoder.decode(data);
}

#else

TextDecoder::TextDecoder(const QByteArray &encoding)
{
    if (!encoding.isEmpty() && QTextCodec::codecForName(encoding))
        m_encoding = encoding;
}

TextDecoder TextDecoder::forLocale()
{
    return TextDecoder(QTextCodec::codecForLocale()->name());
}

QString TextDecoder::decode(const QByteArray &data) const
{
    if (!isValid())
        return QString::fromUtf8(data);
    return QTextCodec::codecForName(m_encoding)->toUnicode(data);
}

#endif

} // namespace tarsel
