#include "knownaddress.h"

QString KnownAddress::text() const
{
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    const QString host = address.toString();
    if (port == 0)
        return host;
    return (ipv6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(host).arg(port);
}

KnownAddress KnownAddress::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    QString host = trimmed;
    QString portText;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const int end = trimmed.indexOf(QStringLiteral("]"));
        if (end < 0)
            return KnownAddress();
        host = trimmed.mid(1, end - 1);
        const QString rest = trimmed.mid(end + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return KnownAddress();
        portText = rest.mid(1);
        if (rest == QLatin1String(":"))
            return KnownAddress();
    } else if (trimmed.count(QLatin1Char(':')) == 1) {
        host = trimmed.section(QLatin1Char(':'), 0, 0);
        portText = trimmed.section(QLatin1Char(':'), 1);
        if (portText.isEmpty())
            return KnownAddress();
    }
    KnownAddress known;
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port > 65535)
            return KnownAddress();
        known.port = static_cast<quint16>(port);
    }
    // Only literal addresses: a name would need a lookup that may block or leave the network.
    QHostAddress address;
    if (host.isEmpty() || !address.setAddress(host) || address.isMulticast()
        || address == QHostAddress(QHostAddress::Broadcast) || address == QHostAddress(QHostAddress::AnyIPv4)
        || address == QHostAddress(QHostAddress::AnyIPv6))
        return KnownAddress();
    known.address = address;
    return known;
}
