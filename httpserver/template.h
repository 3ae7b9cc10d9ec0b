#pragma once

#include <QString>

class QFile;
class QTextCodec;

namespace tarsel {

// A page template being filled in: the string itself is the document. Placeholders are
// {name} for variables, {if name}...{else name}...{end name} (and {ifnot name}) for conditions
// and {loop name}...{else name}...{end name} for repeated blocks. Substitution happens in place.
class Template : public QString
{
public:
    Template(const QString &source, const QString &sourceName);
    // Reads the whole file and decodes it with codec; an unreadable file gives an empty text.
    Template(QFile &file, QTextCodec *codec);

    // Replaces every {name}; inserted values are never searched again. Returns the count.
    int setVariable(const QString &name, const QString &value);
    // Resolves every {if name} and {ifnot name} block. Returns the number of blocks.
    int setCondition(const QString &name, bool value);
    // Expands every {loop name} block repetitions times, renaming {name. to {nameN. in copy N.
    int loop(const QString &name, int repetitions);

    // When on, the three operations above log a warning when they find nothing.
    void enableWarnings(bool enable = true);
    QString sourceName() const;

private:
    int resolveConditionBlocks(
        const QString &startTag, const QString &elseTag, const QString &endTag, bool keepFirstPart, int &frozenTail);

    QString m_sourceName;
    bool m_warnings = false;
};

} // namespace tarsel
