#pragma once

#include <QHostAddress>
#include <QString>

// An address the user gave to reach a device directly, with the discovery port to ask it on
// (0: the discovery port of this device).
struct KnownAddress
{
    QHostAddress address;
    quint16 port = 0;

    bool isValid() const { return !address.isNull(); }
    // "address", "address:port", or for IPv6 "[address]:port"; 0 as port is the default.
    QString text() const;
    // An invalid record when text is neither of the forms of text() nor a bare IPv6 address.
    static KnownAddress parse(const QString &text);
};
