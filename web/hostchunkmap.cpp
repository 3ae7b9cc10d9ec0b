#include "hostchunkmap.h"

#include <QHostAddress>

#include <vector>

HostChunkMap::~HostChunkMap()
{
    QMutexLocker lock(&mutex);
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

std::shared_ptr<HostChunk> HostChunkMap::replace(const QString &key, std::shared_ptr<HostChunk> host)
{
    QMutexLocker lock(&mutex);
    std::shared_ptr<HostChunk> previous = hosts.take(key);
    hosts.insert(key, std::move(host));
    return previous;
}

bool HostChunkMap::insert(const QString &key, std::shared_ptr<HostChunk> host, int maxUploads)
{
    std::shared_ptr<HostChunk> previous; // goes after the lock is given back
    QMutexLocker lock(&mutex);
    previous = hosts.take(key);
    if (hosts.size() >= maxUploads)
        return false;
    hosts.insert(key, std::move(host));
    return true;
}

std::shared_ptr<HostChunk> HostChunkMap::take(const QString &key)
{
    QMutexLocker lock(&mutex);
    return hosts.take(key);
}

bool HostChunkMap::isCurrent(const QString &key, const HostChunk *host) const
{
    QMutexLocker lock(&mutex);
    return hosts.value(key).get() == host;
}

UploadClaim HostChunkMap::claim(const QString &key, bool *busy)
{
    QMutexLocker lock(&mutex);
    return claimLocked(key, busy);
}

UploadClaim HostChunkMap::claimAndTake(const QString &key, bool *busy)
{
    QMutexLocker lock(&mutex);
    UploadClaim host = claimLocked(key, busy);
    if (host)
        hosts.remove(key);
    return host;
}

int HostChunkMap::dropStalled(qint64 now, qint64 idleLimitMs)
{
    // Destroyed after the lock is given back: removing a large partial file can take a while.
    std::vector<std::shared_ptr<HostChunk>> dropped;
    {
        QMutexLocker lock(&mutex);
        for (auto it = hosts.begin(); it != hosts.end();) {
            if (now - it.value()->lastActivity() > idleLimitMs) {
                dropped.push_back(it.value());
                it = hosts.erase(it);
            } else {
                ++it;
            }
        }
    }
    return int(dropped.size());
}

UploadClaim HostChunkMap::claimLocked(const QString &key, bool *busy) const
{
    std::shared_ptr<HostChunk> host = hosts.value(key);
    *busy = host && !host->claim();
    return *busy ? UploadClaim() : UploadClaim(std::move(host));
}
