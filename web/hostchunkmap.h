#pragma once

#include <QHash>
#include <QMutex>
#include <QString>

class HostChunk;
class QHostAddress;

// The chunked uploads in progress, one per client address, shared by all handler threads.
// Every access, including the file work of a chunk, happens under mutex, so the steps of one
// client's upload never interleave and a begin or terminate cannot pull an upload away from
// under a chunk being written. Destroying the map removes the partial files of unfinished
// uploads.
class HostChunkMap
{
    Q_DISABLE_COPY(HostChunkMap)

public:
    HostChunkMap() = default;
    ~HostChunkMap();

    // The full client address as text; an IPv4 client reached over a dual-stack socket gets its
    // IPv4 form, IPv6 clients keep their whole address (with scope).
    static QString key(const QHostAddress &address);

    QMutex mutex;
    QHash<QString, HostChunk *> hosts;
};
