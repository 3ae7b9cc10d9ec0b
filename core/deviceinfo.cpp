#include "deviceinfo.h"

QString deviceAddressText(const QHostAddress &address)
{
    const QString text = address.toString();
    if (text.startsWith(QLatin1String("::ffff:")))
        return text.split(QStringLiteral("ffff:")).last();
    return text;
}
