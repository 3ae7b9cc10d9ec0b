#pragma once

#include <QHostAddress>
#include <QMetaType>
#include <QString>
#include <QVector>

// One online device as discovery last reported it. The device is identified by its address
// alone (compared with tolerant conversion); name and port may change between reports.
struct DeviceInfo
{
    QString deviceName;
    QString ip;
    quint16 port = 0;
    QHostAddress addr;
    // The fingerprint of its identity key as it announced it (untrusted: only a proof in a
    // transfer session shows who a device is); empty when it announced none.
    QString fingerprint;
};

Q_DECLARE_METATYPE(DeviceInfo)

// Text of an address for display and for connecting: an IPv4-mapped IPv6 address loses its
// "::ffff:" prefix so that it reads as the plain dotted IPv4 text.
QString deviceAddressText(const QHostAddress &address);
