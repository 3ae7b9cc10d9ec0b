#include "localipv4addresses.h"

#include <QHostAddress>
#include <QNetworkInterface>

QStringList localIPv4Addresses()
{
    QStringList texts;
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::LocalHost))
            continue;
        texts.append(address.toString());
    }
    return texts;
}
