#include "textargument.h"

#include "core/sharedtext.h"

#include <QFile>

#include <cstdio>

QByteArray textArgument(const QString &value)
{
    QByteArray utf8 = value.toUtf8();
    if (utf8 != "-")
        return utf8;
    utf8.clear();
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return utf8;
    while (utf8.size() <= sharedtext::maxTextBytes) {
        const QByteArray part = in.read(sharedtext::maxTextBytes + 1 - utf8.size());
        if (part.isEmpty())
            break;
        utf8 += part;
    }
    return utf8;
}
