#include "hostchunkmap.h"

#include "web/hostchunk.h"

#include <QHostAddress>

HostChunkMap::~HostChunkMap()
{
    QMutexLocker lock(&mutex);
    qDeleteAll(hosts);
    hosts.clear();
}

QString HostChunkMap::key(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}
