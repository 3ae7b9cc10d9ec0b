#pragma once

#include <QIODevice>

#include <memory>

class HostChunk;

// The data of one chunk request, written into its upload's partial file as it arrives rather
// than into a temporary file that would be copied there afterwards: every byte is written once.
// It holds the upload's claim until the controller commits or discards the chunk, which it does
// before answering, so the client's next request finds the upload free. A chunk neither
// committed nor discarded (its request was cut off) is discarded when the writer goes: it
// leaves nothing in the partial file. A failed write (a full disk) or a chunk beyond the upload's
// limits (HostChunk::hasRoomFor) is remembered and the rest of the chunk is passed over, so that
// the client gets an answer saying why rather than a dropped connection.
class ChunkWriter : public QIODevice
{
    Q_OBJECT

public:
    // host must have been claimed for this writer, and index be its next index.
    ChunkWriter(std::shared_ptr<HostChunk> host, quint32 index, QObject *parent = nullptr);
    ~ChunkWriter() override;

    const HostChunk *host() const { return m_host.get(); }

    // Records the chunk under fileName and frees the upload. False if some of the chunk could
    // not be written, or it would pass the upload's limits (tooLarge()): it is then discarded.
    bool commit(const QString &fileName);
    bool tooLarge() const { return m_tooLarge; }
    // Cuts the chunk back out of the partial file and frees the upload.
    void discard();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    std::shared_ptr<HostChunk> m_host;
    quint32 m_index;
    qint64 m_start;
    bool m_failed = false;
    bool m_tooLarge = false;
    bool m_done = false;
};
