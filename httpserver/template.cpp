#include "template.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>
#include <QtDebug>

namespace tarsel {

Template::Template(const QString &source, const QString &sourceName)
    : QString(source)
    , m_sourceName(sourceName)
{
}

Template::Template(QFile &file, QTextCodec *codec)
    : m_sourceName(QFileInfo(file.fileName()).baseName())
{
    QByteArray data;
    if (file.isOpen() || file.open(QFile::ReadOnly | QFile::Text)) {
        data = file.readAll();
        file.close();
    }
    if (data.isEmpty() || file.error() != QFile::NoError) {
        qCritical("Template: cannot read from %s, %s", qPrintable(m_sourceName), qPrintable(file.errorString()));
        return;
    }
    QString::operator=(codec ? codec->toUnicode(data) : QString::fromUtf8(data));
}

int Template::setVariable(const QString &name, const QString &value)
{
    const QString placeholder = QLatin1Char('{') + name + QLatin1Char('}');
    int count = 0;
    int start = indexOf(placeholder);
    while (start >= 0) {
        replace(start, placeholder.length(), value);
        ++count;
        // Continue behind the inserted value so that a value is never expanded itself.
        start = indexOf(placeholder, start + value.length());
    }
    if (count == 0 && m_warnings)
        qWarning("Template: missing variable %s in %s", qPrintable(placeholder), qPrintable(m_sourceName));
    return count;
}

// Resolves the blocks of one start tag. frozenTail is the number of characters at the end of
// the text that an unterminated start tag has put out of reach: once a start tag has no end tag,
// it and everything behind it stay as they are, for this pass and the following ones. Replacing
// a block only changes text in front of the frozen part, so its length stays valid.
int Template::resolveConditionBlocks(
    const QString &startTag, const QString &elseTag, const QString &endTag, bool keepFirstPart, int &frozenTail)
{
    int count = 0;
    int start = indexOf(startTag);
    while (start >= 0 && start + startTag.length() <= length() - frozenTail) {
        const int limit = length() - frozenTail;
        const int end = indexOf(endTag, start + startTag.length());
        if (end < 0 || end + endTag.length() > limit) {
            qWarning("Template: missing condition end %s in %s", qPrintable(endTag), qPrintable(m_sourceName));
            frozenTail = length() - start;
            break;
        }
        ++count;
        const int bodyStart = start + startTag.length();
        int elsePos = indexOf(elseTag, bodyStart);
        if (elsePos >= end)
            elsePos = -1;
        QString replacement;
        if (elsePos >= 0) {
            replacement = keepFirstPart ? mid(bodyStart, elsePos - bodyStart)
                                        : mid(elsePos + elseTag.length(), end - elsePos - elseTag.length());
        } else if (keepFirstPart) {
            replacement = mid(bodyStart, end - bodyStart);
        }
        replace(start, end + endTag.length() - start, replacement);
        // Searching again from the block's position also resolves a start tag that came with the
        // inserted part; every round removes one end tag, so this ends.
        start = indexOf(startTag, start);
    }
    return count;
}

int Template::setCondition(const QString &name, bool value)
{
    const QString startTag = QStringLiteral("{if %1}").arg(name);
    const QString startTagNot = QStringLiteral("{ifnot %1}").arg(name);
    const QString elseTag = QStringLiteral("{else %1}").arg(name);
    const QString endTag = QStringLiteral("{end %1}").arg(name);
    int frozenTail = 0;
    int count = resolveConditionBlocks(startTag, elseTag, endTag, value, frozenTail);
    count += resolveConditionBlocks(startTagNot, elseTag, endTag, !value, frozenTail);
    if (count == 0 && m_warnings) {
        qWarning("Template: missing condition %s or %s in %s", qPrintable(startTag), qPrintable(startTagNot),
            qPrintable(m_sourceName));
    }
    return count;
}

int Template::loop(const QString &name, int repetitions)
{
    // A negative count is a caller's mistake; it is treated as no repetition.
    repetitions = qMax(0, repetitions);
    const QString startTag = QStringLiteral("{loop %1}").arg(name);
    const QString elseTag = QStringLiteral("{else %1}").arg(name);
    const QString endTag = QStringLiteral("{end %1}").arg(name);
    static const char *const renamedPrefixes[]
        = { "{%1.", "{if %1.", "{ifnot %1.", "{else %1.", "{end %1.", "{loop %1." };

    int count = 0;
    int start = indexOf(startTag);
    const bool found = start >= 0;
    while (start >= 0) {
        const int end = indexOf(endTag, start + startTag.length());
        if (end < 0) {
            // Nothing behind an unterminated start tag is touched, so processing ends here.
            qWarning("Template: missing loop end %s in %s", qPrintable(endTag), qPrintable(m_sourceName));
            break;
        }
        ++count;
        const int bodyStart = start + startTag.length();
        int elsePos = indexOf(elseTag, bodyStart);
        if (elsePos >= end)
            elsePos = -1;
        const QString body = mid(bodyStart, (elsePos >= 0 ? elsePos : end) - bodyStart);
        QString replacement;
        if (repetitions > 0) {
            for (int i = 0; i < repetitions; ++i) {
                const QString nameNum = name + QString::number(i);
                QString copy = body;
                for (const char *prefix : renamedPrefixes) {
                    const QString format = QLatin1String(prefix);
                    copy.replace(format.arg(name), format.arg(nameNum));
                }
                replacement += copy;
            }
        } else if (elsePos >= 0) {
            replacement = mid(elsePos + elseTag.length(), end - elsePos - elseTag.length());
        }
        replace(start, end + endTag.length() - start, replacement);
        // Every round removes one end tag, so re-searching from the block's position ends.
        start = indexOf(startTag, start);
    }
    if (!found && m_warnings)
        qWarning("Template: missing loop %s in %s", qPrintable(startTag), qPrintable(m_sourceName));
    return count;
}

void Template::enableWarnings(bool enable)
{
    m_warnings = enable;
}

QString Template::sourceName() const
{
    return m_sourceName;
}

} // namespace tarsel
