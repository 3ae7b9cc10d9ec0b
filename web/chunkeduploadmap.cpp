#include "chunkeduploadmap.h"

#include <QHostAddress>

#include <vector>

ChunkedUploadMap::~ChunkedUploadMap()
{
    QMutexLocker lock(&mutex);
    hosts.clear();
}

QString ChunkedUploadMap::key(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}

std::shared_ptr<ChunkedUpload> ChunkedUploadMap::replace(const QString &key, std::shared_ptr<ChunkedUpload> host)
{
    QMutexLocker lock(&mutex);
    std::shared_ptr<ChunkedUpload> previous = hosts.take(key);
    hosts.insert(key, std::move(host));
    return previous;
}

bool ChunkedUploadMap::insert(const QString &key, std::shared_ptr<ChunkedUpload> host, int maxUploads)
{
    std::shared_ptr<ChunkedUpload> previous; // goes after the lock is given back
    QMutexLocker lock(&mutex);
    previous = hosts.take(key);
    if (hosts.size() >= maxUploads)
        return false;
    hosts.insert(key, std::move(host));
    return true;
}

std::shared_ptr<ChunkedUpload> ChunkedUploadMap::take(const QString &key)
{
    QMutexLocker lock(&mutex);
    return hosts.take(key);
}

bool ChunkedUploadMap::isCurrent(const QString &key, const ChunkedUpload *host) const
{
    QMutexLocker lock(&mutex);
    return hosts.value(key).get() == host;
}

UploadClaim ChunkedUploadMap::claim(const QString &key, bool *busy)
{
    QMutexLocker lock(&mutex);
    return claimLocked(key, busy);
}

UploadClaim ChunkedUploadMap::claimAndTake(const QString &key, bool *busy)
{
    QMutexLocker lock(&mutex);
    UploadClaim host = claimLocked(key, busy);
    if (host)
        hosts.remove(key);
    return host;
}

int ChunkedUploadMap::dropStalled(qint64 now, qint64 idleLimitMs)
{
    // Destroyed after the lock is given back: removing a large partial file can take a while.
    std::vector<std::shared_ptr<ChunkedUpload>> dropped;
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

UploadClaim ChunkedUploadMap::claimLocked(const QString &key, bool *busy) const
{
    std::shared_ptr<ChunkedUpload> host = hosts.value(key);
    *busy = host && !host->claim();
    return *busy ? UploadClaim() : UploadClaim(std::move(host));
}
