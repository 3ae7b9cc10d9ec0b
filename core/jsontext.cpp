#include "jsontext.h"

#include <QJsonArray>
#include <QSet>
#include <QString>
#include <QVector>

namespace {

// One open object or array; keys only for objects.
struct Level
{
    bool object = false;
    bool expectingKey = false;
    QSet<QString> keys;
};

// Index of the quote that ends the string starting at start, or -1.
int stringEnd(const QByteArray &text, int start)
{
    for (int i = start + 1; i < text.size(); ++i) {
        if (text.at(i) == '\\')
            ++i;
        else if (text.at(i) == '"')
            return i;
    }
    return -1;
}

QString keyOf(const QByteArray &literal)
{
    if (!literal.contains('\\'))
        return QString::fromUtf8(literal.mid(1, literal.size() - 2));
    // Escapes are left to Qt: a one-string array has no key to repeat.
    return QJsonDocument::fromJson('[' + literal + ']').array().at(0).toString();
}

bool repeatsAKey(const QByteArray &text)
{
    QVector<Level> open;
    for (int i = 0; i < text.size(); ++i) {
        switch (text.at(i)) {
        case '"': {
            const int end = stringEnd(text, i);
            if (end < 0)
                return false; // malformed: Qt refuses it
            if (!open.isEmpty() && open.last().expectingKey) {
                open.last().expectingKey = false;
                const QString key = keyOf(text.mid(i, end - i + 1));
                if (open.last().keys.contains(key))
                    return true;
                open.last().keys.insert(key);
            }
            i = end;
            break;
        }
        case '{':
            open.append(Level { true, true, {} });
            break;
        case '[':
            open.append(Level {});
            break;
        case '}':
        case ']':
            if (!open.isEmpty())
                open.removeLast();
            break;
        case ',':
            if (!open.isEmpty() && open.last().object)
                open.last().expectingKey = true;
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace

QJsonDocument parseJson(const QByteArray &text)
{
    if (repeatsAKey(text))
        return QJsonDocument();
    return QJsonDocument::fromJson(text);
}
