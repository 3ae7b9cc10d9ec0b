#include "template.h"

#include "httpserver/httplogging.h"
#include "httpserver/textdecoder.h"

#include <QFile>
#include <QFileInfo>

namespace tarsel {

namespace {

// Calls found(start, end) for every placeholder: a "{" with the next brace after it a "}".
template <typename Found> void forEachPlaceholder(const QString &text, Found found)
{
    const QChar *const data = text.constData();
    const int size = text.size();
    int open = -1;
    for (int i = 0; i < size; ++i) {
        if (data[i] == QLatin1Char('{')) {
            open = i;
        } else if (data[i] == QLatin1Char('}') && open >= 0) {
            found(open, i + 1);
            open = -1;
        }
    }
}

} // namespace

// FNV-1a over the UTF-16 code units, folded to the hash's width.
Template::HashValue qHash(const Template::Placeholder &placeholder, Template::HashValue seed)
{
    quint64 hash = 14695981039346656037ULL ^ seed;
    for (const QChar c : placeholder.text)
        hash = (hash ^ c.unicode()) * 1099511628211ULL;
    return Template::HashValue(hash ^ (hash >> 32));
}

Template::Template(const QString &source, const QString &sourceName)
    : m_text(source)
    , m_sourceName(sourceName)
{
}

Template::Template(QFile &file, const TextDecoder &decoder)
    : m_sourceName(QFileInfo(file.fileName()).baseName())
{
    QByteArray data;
    if (file.isOpen() || file.open(QFile::ReadOnly | QFile::Text)) {
        data = file.readAll();
        file.close();
    }
    if (data.isEmpty() || file.error() != QFile::NoError) {
        qCCritical(
            lcHttp, "Template: cannot read from %s, %s", qPrintable(m_sourceName), qPrintable(file.errorString()));
        return;
    }
    m_text = decoder.decode(data);
}

void Template::indexPlaceholders() const
{
    m_placeholders.clear();
    forEachPlaceholder(m_text, [this](int start, int end) { ++m_placeholders[{ m_text.mid(start, end - start) }]; });
    m_indexed = true;
}

void Template::fillInVariables() const
{
    if (m_pendingValues.isEmpty())
        return;
    QString result;
    result.reserve(m_text.size());
    int copied = 0;
    forEachPlaceholder(m_text, [&](int start, int end) {
        const auto value = m_pendingValues.constFind({ m_text.mid(start, end - start) });
        if (value == m_pendingValues.cend())
            return;
        result.append(m_text.constData() + copied, start - copied).append(*value);
        copied = end;
    });
    result.append(m_text.constData() + copied, m_text.size() - copied);
    m_text = result;
    m_pendingValues.clear();
    m_placeholders.clear();
    m_indexed = false;
}

QString Template::toString() const
{
    fillInVariables();
    return m_text;
}

int Template::setVariable(const QString &name, const QString &value)
{
    const QString placeholder = QLatin1Char('{') + name + QLatin1Char('}');
    if (!m_indexed)
        indexPlaceholders();
    // Taken from the index: a second value for the same name finds no placeholder left.
    const int count = m_placeholders.take({ placeholder });
    if (count > 0)
        m_pendingValues.insert({ placeholder }, value);
    if (count == 0 && m_warnings)
        qCWarning(lcHttp, "Template: missing variable %s in %s", qPrintable(placeholder), qPrintable(m_sourceName));
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
    int start = m_text.indexOf(startTag);
    while (start >= 0 && start + startTag.length() <= m_text.length() - frozenTail) {
        const int limit = m_text.length() - frozenTail;
        const int end = m_text.indexOf(endTag, start + startTag.length());
        if (end < 0 || end + endTag.length() > limit) {
            qCWarning(lcHttp, "Template: missing condition end %s in %s", qPrintable(endTag), qPrintable(m_sourceName));
            frozenTail = m_text.length() - start;
            break;
        }
        ++count;
        const int bodyStart = start + startTag.length();
        int elsePos = m_text.indexOf(elseTag, bodyStart);
        if (elsePos >= end)
            elsePos = -1;
        QString replacement;
        if (elsePos >= 0) {
            replacement = keepFirstPart ? m_text.mid(bodyStart, elsePos - bodyStart)
                                        : m_text.mid(elsePos + elseTag.length(), end - elsePos - elseTag.length());
        } else if (keepFirstPart) {
            replacement = m_text.mid(bodyStart, end - bodyStart);
        }
        m_text.replace(start, end + endTag.length() - start, replacement);
        // Searching again from the block's position also resolves a start tag that came with the
        // inserted part; every round removes one end tag, so this ends.
        start = m_text.indexOf(startTag, start);
    }
    return count;
}

int Template::setCondition(const QString &name, bool value)
{
    fillInVariables();
    m_indexed = false;
    const QString startTag = QStringLiteral("{if %1}").arg(name);
    const QString startTagNot = QStringLiteral("{ifnot %1}").arg(name);
    const QString elseTag = QStringLiteral("{else %1}").arg(name);
    const QString endTag = QStringLiteral("{end %1}").arg(name);
    int frozenTail = 0;
    int count = resolveConditionBlocks(startTag, elseTag, endTag, value, frozenTail);
    count += resolveConditionBlocks(startTagNot, elseTag, endTag, !value, frozenTail);
    if (count == 0 && m_warnings) {
        qCWarning(lcHttp, "Template: missing condition %s or %s in %s", qPrintable(startTag), qPrintable(startTagNot),
            qPrintable(m_sourceName));
    }
    return count;
}

int Template::loop(const QString &name, int repetitions)
{
    // A negative count is a caller's mistake; it is treated as no repetition.
    repetitions = qMax(0, repetitions);
    fillInVariables();
    m_indexed = false;
    const QString startTag = QStringLiteral("{loop %1}").arg(name);
    const QString elseTag = QStringLiteral("{else %1}").arg(name);
    const QString endTag = QStringLiteral("{end %1}").arg(name);
    static const char *const renamedPrefixes[]
        = { "{%1.", "{if %1.", "{ifnot %1.", "{else %1.", "{end %1.", "{loop %1." };

    int count = 0;
    int start = m_text.indexOf(startTag);
    const bool found = start >= 0;
    while (start >= 0) {
        const int end = m_text.indexOf(endTag, start + startTag.length());
        if (end < 0) {
            // Nothing behind an unterminated start tag is touched, so processing ends here.
            qCWarning(lcHttp, "Template: missing loop end %s in %s", qPrintable(endTag), qPrintable(m_sourceName));
            break;
        }
        ++count;
        const int bodyStart = start + startTag.length();
        int elsePos = m_text.indexOf(elseTag, bodyStart);
        if (elsePos >= end)
            elsePos = -1;
        const QString body = m_text.mid(bodyStart, (elsePos >= 0 ? elsePos : end) - bodyStart);
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
            replacement = m_text.mid(elsePos + elseTag.length(), end - elsePos - elseTag.length());
        }
        m_text.replace(start, end + endTag.length() - start, replacement);
        // Every round removes one end tag, so re-searching from the block's position ends.
        start = m_text.indexOf(startTag, start);
    }
    if (!found && m_warnings)
        qCWarning(lcHttp, "Template: missing loop %s in %s", qPrintable(startTag), qPrintable(m_sourceName));
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
