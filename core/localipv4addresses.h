#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One IPv4 address of this machine with what decides whether another device can reach it.
struct LocalAddress
{
    // Best first: the order rankAddresses sorts by.
    enum class Kind {
        DefaultRoute, // on the interface of the default route
        Physical, // on another interface that is up
        Virtual, // on a container bridge, a virtual cable or a tunnel
        LinkLocal, // 169.254.0.0/16: given when no network handed out an address
    };

    QString address;
    QString interfaceName;
    int prefixLength = 0;
    // The interface's broadcast address; empty for a point-to-point link.
    QString broadcast;
    bool pointToPoint = false;
    Kind kind = Kind::Physical;
};

// Texts of this machine's IPv4 addresses in the platform's order, without the null address
// and 127.0.0.1: the addresses another device on the network can reach us at.
QStringList localIPv4Addresses();

// The IPv4 addresses of the interfaces that are up (loopback left out), best first: the one a
// phone on the same network most likely reaches.
QVector<LocalAddress> rankedLocalAddresses();
// The address texts of rankedLocalAddresses.
QStringList rankedIPv4Addresses();
// The best of rankedLocalAddresses when address is a virtual or link-local one and a better one
// exists; otherwise an empty record.
LocalAddress betterAddressThan(const QString &address);

// Gives each address its kind and sorts them, keeping the given order within a kind.
QVector<LocalAddress> rankAddresses(QVector<LocalAddress> addresses, const QString &defaultRouteInterface);
// Whether an interface of this name is a container bridge, virtual cable or tunnel.
bool isVirtualInterfaceName(const QString &name);
// The interface of the IPv4 default route in a /proc/net/route table; empty without one.
QString defaultRouteInterface(const QByteArray &routeTable);
