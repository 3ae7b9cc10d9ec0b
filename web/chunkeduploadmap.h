#pragma once

#include "web/chunkedupload.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

class QHostAddress;

// The chunked uploads in progress, one per client address, shared by all handler threads. The
// map only hands uploads out; the file work of a chunk happens outside its lock, by the request
// that has claimed the upload (ChunkedUpload::claim), so a slow client holds up nobody else. An
// upload taken out of the map (terminate, a new begin, finish) lives on while a request still
// holds it, and its partial file goes with the last holder. Destroying the map removes the
// partial files of unfinished uploads that no request holds.
class ChunkedUploadMap
{
    Q_DISABLE_COPY(ChunkedUploadMap)

public:
    ChunkedUploadMap() = default;
    ~ChunkedUploadMap();

    // The full client address as text; an IPv4 client reached over a dual-stack socket gets its
    // IPv4 form, IPv6 clients keep their whole address (with scope).
    static QString key(const QHostAddress &address);

    // Makes host the upload of key and returns the one it replaces, if any.
    std::shared_ptr<ChunkedUpload> replace(const QString &key, std::shared_ptr<ChunkedUpload> host);
    // Makes host the upload of key, replacing the one key had, unless maxUploads uploads of other
    // clients are in progress already.
    bool insert(const QString &key, std::shared_ptr<ChunkedUpload> host, int maxUploads = maxUploadsInProgress);
    std::shared_ptr<ChunkedUpload> take(const QString &key);
    bool isCurrent(const QString &key, const ChunkedUpload *host) const;

    // The upload of key, claimed for the caller until the claim goes. Empty when there is none,
    // or when another request holds it (busy is then set). claimAndTake also removes it from the
    // map.
    UploadClaim claim(const QString &key, bool *busy);
    UploadClaim claimAndTake(const QString &key, bool *busy);

    // Drops the uploads that got no data for more than idleLimitMs before now (ChunkedUpload's
    // clock); a chunk still arriving keeps its upload alive. Returns how many were dropped.
    int dropStalled(qint64 now, qint64 idleLimitMs = stalledUploadTimeoutMs);

private:
    // claim() for a caller holding mutex.
    UploadClaim claimLocked(const QString &key, bool *busy) const;

    mutable QMutex mutex;
    // Guarded by mutex.
    QHash<QString, std::shared_ptr<ChunkedUpload>> hosts;
};
