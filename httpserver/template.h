#pragma once

#include <QHash>
#include <QString>

class QFile;

namespace tarsel {

class TextDecoder;

// A page template being filled in. Placeholders are {name} for variables (a name holds no
// braces), {if name}...{else name}...{end name} (and {ifnot name}) for conditions and
// {loop name}...{else name}...{end name} for repeated blocks. Variables are collected and filled
// in with one pass over the document when it is read, so that a page of many rows with a few
// variables each takes time in proportion to its size; inserted values are never searched again.
class Template
{
public:
    Template(const QString &source, const QString &sourceName);
    // Reads the whole file and decodes it; an unreadable file gives an empty text.
    Template(QFile &file, const TextDecoder &decoder);

    // Replaces every {name}. Returns the count; a name already set has none left.
    int setVariable(const QString &name, const QString &value);
    // Resolves every {if name} and {ifnot name} block. Returns the number of blocks.
    int setCondition(const QString &name, bool value);
    // Expands every {loop name} block repetitions times, renaming {name. to {nameN. in copy N.
    int loop(const QString &name, int repetitions);

    // When on, the three operations above log a warning when they find nothing.
    void enableWarnings(bool enable = true);
    QString sourceName() const;

    // The document with everything set so far.
    QString toString() const;
    operator QString() const { return toString(); }
    QByteArray toUtf8() const { return toString().toUtf8(); }
    bool isEmpty() const { return m_text.isEmpty(); }

private:
    int resolveConditionBlocks(
        const QString &startTag, const QString &elseTag, const QString &endTag, bool keepFirstPart, int &frozenTail);
    void indexPlaceholders() const;
    void fillInVariables() const;

    // A placeholder as a hash key: Qt's string hash makes placeholders that differ only in a row
    // number collide, this key's hash does not.
    struct Placeholder
    {
        QString text;
        bool operator==(const Placeholder &other) const { return text == other.text; }
    };
    // Qt 5 hashes to uint, Qt 6 to size_t; the seed has the same type.
    using HashValue = decltype(qHash(QString()));
    friend HashValue qHash(const Placeholder &placeholder, HashValue seed);

    mutable QString m_text;
    // Values set but not yet in the text, by placeholder, and the placeholders the text holds
    // (with their counts) not yet set; the index is built when first needed.
    mutable QHash<Placeholder, QString> m_pendingValues;
    mutable QHash<Placeholder, int> m_placeholders;
    mutable bool m_indexed = false;
    QString m_sourceName;
    bool m_warnings = false;
};

} // namespace tarsel
