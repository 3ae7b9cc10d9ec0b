#include "peertext.h"

namespace {

// Enough for the marks of real scripts; more only stack up over the lines around them.
constexpr int maxCombiningRun = 4;
constexpr char16_t replacement = 0xFFFD;
constexpr char16_t ellipsis = 0x2026;

bool reordersText(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)
        || (c >= 0xFFF9 && c <= 0xFFFB);
}

} // namespace

QString peerText(const QString &text, PeerTextLines lines)
{
    const bool keepLines = lines == PeerTextLines::Kept;
    QString shown;
    shown.reserve(text.size());
    int combiningRun = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        } else if (c.isSurrogate()) {
            shown.append(QChar(replacement));
            combiningRun = 0;
            continue;
        }
        const QChar::Category category = QChar::category(code);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing) {
            if (++combiningRun > maxCombiningRun)
                continue;
        } else {
            combiningRun = 0;
        }
        if (keepLines && (code == '\n' || code == '\t')) {
            shown.append(QChar(static_cast<char16_t>(code)));
            continue;
        }
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph || reordersText(code)) {
            shown.append(QChar(replacement));
            continue;
        }
        if (QChar::requiresSurrogates(code)) {
            shown.append(QChar(QChar::highSurrogate(code)));
            shown.append(QChar(QChar::lowSurrogate(code)));
        } else {
            shown.append(QChar(static_cast<char16_t>(code)));
        }
    }
    return shown;
}

QString elideMiddle(const QString &text, int maxCharacters)
{
    if (text.size() <= maxCharacters || maxCharacters < 3)
        return text;
    int head = (maxCharacters - 1) / 2;
    int tailStart = text.size() - (maxCharacters - 1 - head);
    if (head > 0 && text.at(head - 1).isHighSurrogate())
        --head;
    if (tailStart < text.size() && text.at(tailStart).isLowSurrogate())
        ++tailStart;
    return text.left(head) + QChar(ellipsis) + text.mid(tailStart);
}
