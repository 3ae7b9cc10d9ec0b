#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class Chunk;
class QIODevice;
class QTemporaryFile;

// The chunked upload of one client: a hidden partial file in the download folder to which the
// chunks are appended in order (index 0, 1, 2, ...). Destroying an unfinished upload removes
// its partial file, so abandoned uploads leave nothing behind.
//
// Requests of several handler threads reach the same upload. The one that has claimed it owns
// the partial file and the chunk list until it releases the claim; nobody else touches them.
class HostChunk : public QObject
{
    Q_OBJECT

public:
    explicit HostChunk(QObject *parent = nullptr);
    ~HostChunk() override;

    // Creates the partial file (new, empty, unique name) in folder.
    bool open(const QString &folder);

    // False while another request holds the upload.
    bool claim() { return !claimed.exchange(true); }
    void release() { claimed.store(false); }

    // The index the next chunk must carry.
    quint32 nextIndex() const { return quint32(chunks.size()); }

    // Appends all of data (read from its current position) as chunk index. On a write error the
    // partial file is cut back to where it was, so the chunk can be sent again.
    bool append(quint32 index, const QString &fileName, QIODevice &data);

    // The same in steps, for a chunk written as it arrives: its bytes go to the end of the
    // partial file, then either the chunk is recorded or the file is cut back to its old size.
    qint64 size() const;
    bool write(const char *data, qint64 size);
    void addChunk(quint32 index, const QString &fileName, qint64 size);
    void cutBack(qint64 size);

    // Moves the partial file to folder/name, or "name (n).ext" when that exists. Returns the
    // path written, or an empty text on failure (the partial file then goes with this object).
    QString finish(const QString &folder, const QString &name);

    QList<Chunk *> chunks;

private:
    QTemporaryFile *partialFile = nullptr;
    std::atomic<bool> claimed { false };
};
