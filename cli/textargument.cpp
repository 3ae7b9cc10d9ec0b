#include "textargument.h"

#include "cli/console.h"
#include "core/sharedtext.h"

#include <QCoreApplication>
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

bool checkedTextArgument(const QString &value, const QString &noText, QString *text)
{
    const QByteArray utf8 = textArgument(value);
    if (utf8.size() > sharedtext::maxTextBytes) {
        Console::err(QCoreApplication::translate("TextArgument", "文字太长：最多 1 MiB。"));
        return false;
    }
    if (!sharedtext::acceptable(utf8)) {
        Console::err(noText);
        return false;
    }
    *text = QString::fromUtf8(utf8);
    return true;
}
