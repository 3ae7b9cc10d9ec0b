#pragma once

#include <QStringList>

// Texts of this machine's IPv4 addresses in the platform's order, without the null address
// and 127.0.0.1: the addresses another device on the network can reach us at.
QStringList localIPv4Addresses();
