#pragma once

#include <QFile>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class Chunk;
class QIODevice;

// What one unfinished chunked upload may hold (one per client address, and one per resumable
// file of a receive session, which holds no more than its announced size): its partial file
// grows to at most this many bytes, in at most this many chunks (each is a record in memory); a
// chunk beyond either is refused.
constexpr qint64 maxPartialBytesPerClient = qint64(64) << 30;
constexpr int maxChunksPerUpload = 20000;
// At most this many uploads are in progress at once, whatever the number of client addresses
// (an IPv6 client can have many); a begin beyond them is refused.
constexpr int maxUploadsInProgress = 64;
// An upload that gets no data and no status question for this long is dropped, partial file and
// all. Long enough for a phone that slept or lost its network to come back and continue; the
// upload goes at once when its receive session ends.
constexpr qint64 stalledUploadTimeoutMs = 60 * 60 * 1000;
// The partial file of an upload is a hidden file in the download folder, "." + the file's name
// + this ending ("." + "orvex-upload" + the ending until the first chunk names the file), so
// the space it takes can be seen; it gets the final name only when the upload is finished.
constexpr char partialFileSuffix[] = ".orvex-part";

// The chunked upload of one client: a hidden partial file in the download folder to which the
// chunks are appended in order (index 0, 1, 2, ...). Destroying an unfinished upload removes
// its partial file, so abandoned uploads leave nothing behind.
//
// Requests of several handler threads reach the same upload. The one that has claimed it owns
// the partial file and the chunk list until it releases the claim; nobody else touches them.
class ChunkedUpload : public QObject
{
    Q_OBJECT

public:
    explicit ChunkedUpload(qint64 maxBytes = maxPartialBytesPerClient, QObject *parent = nullptr);
    ~ChunkedUpload() override;

    // Creates the partial file (new, empty, a free hidden name) in folder.
    bool open(const QString &folder);
    // Where the partial file is now; empty before open() and after finish(). It goes with this
    // object unless finished, also when open() failed after creating it.
    QString partialPath() const { return m_path; }

    // False while another request holds the upload. The holder keeps the claim in an
    // UploadClaim, which gives it back.
    bool claim() { return !claimed.exchange(true); }

    // The index the next chunk must carry.
    quint32 nextIndex() const { return quint32(chunks.size()); }

    // Whether one more chunk of that many bytes stays within the limits.
    bool hasRoomFor(qint64 bytes) const;

    // Appends all of data (read from its current position) as chunk index. On a write error the
    // partial file is cut back to where it was, so the chunk can be sent again.
    bool append(quint32 index, const QString &fileName, QIODevice &data);

    // The same in steps, for a chunk written as it arrives: its bytes go to the end of the
    // partial file, then either the chunk is recorded or the file is cut back to its old size.
    qint64 size() const;
    bool write(const char *data, qint64 size);
    // The same for bytes that something else put at the end of the partial file (by its
    // descriptor, -1 when it is not open): the file is then size bytes longer.
    int fileDescriptor() const { return partialFile.isOpen() ? partialFile.handle() : -1; }
    void grewBy(qint64 size);
    void addChunk(quint32 index, const QString &fileName, qint64 size);
    void cutBack(qint64 size);

    // Moves the partial file to folder/name, or "name (n).ext" when that exists. Returns the
    // path written, or an empty text on failure (the partial file then goes with this object).
    QString finish(const QString &folder, const QString &name);

    // Data arrived: the upload is not stalled. Safe from any thread.
    void touch();
    qint64 lastActivity() const { return m_lastActivity.load(); }
    // The monotonic clock of lastActivity(), in milliseconds.
    static qint64 clockMs();

    QList<Chunk *> chunks;

private:
    friend class UploadClaim;
    void release() { claimed.store(false); }

    // The first chunk names the partial file after the file being uploaded.
    void nameAfter(const QString &fileName);

    QFile partialFile;
    QString m_path;
    qint64 m_maxBytes;
    std::atomic<qint64> m_lastActivity;
    std::atomic<bool> claimed { false };
};

// A request's hold on an upload it has claimed (ChunkedUpload::claim): the upload is free again when
// the claim is reset or goes, whichever way the request ends.
class UploadClaim
{
public:
    UploadClaim() = default;
    // host must have been claimed already; null makes an empty claim.
    explicit UploadClaim(std::shared_ptr<ChunkedUpload> host)
        : m_host(std::move(host))
    {
    }
    UploadClaim(UploadClaim &&other) noexcept = default;
    UploadClaim &operator=(UploadClaim &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_host = std::move(other.m_host);
        }
        return *this;
    }
    ~UploadClaim() { reset(); }

    // Frees the upload and lets go of it: an upload nobody else holds goes with its partial file.
    void reset()
    {
        if (m_host)
            m_host->release();
        m_host.reset();
    }

    ChunkedUpload *get() const { return m_host.get(); }
    const std::shared_ptr<ChunkedUpload> &shared() const { return m_host; }
    ChunkedUpload *operator->() const { return m_host.get(); }
    explicit operator bool() const { return bool(m_host); }

private:
    std::shared_ptr<ChunkedUpload> m_host;
};
