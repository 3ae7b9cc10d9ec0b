#pragma once

#include "httpserver/filebodydevice.h"
#include "web/chunkedupload.h"

// The data of one chunk request, written into its upload's partial file as it arrives rather
// than into a temporary file that would be copied there afterwards: every byte is written once.
// It holds the upload's claim until the controller commits or discards the chunk, which it does
// before answering, so the client's next request finds the upload free. A chunk neither
// committed nor discarded (its request was cut off) is discarded when the writer goes: it
// leaves nothing in the partial file. A failed write (a full disk) or a chunk beyond the upload's
// limits (ChunkedUpload::hasRoomFor) is remembered and the rest of the chunk is passed over, so that
// the client gets an answer saying why rather than a dropped connection.
//
// As a request body of its own, a chunk may go from the socket into the partial file by the
// kernel (tarsel::FileBodyDevice); its size is then known beforehand (expect()).
class ChunkWriter : public tarsel::FileBodyDevice
{
    Q_OBJECT

public:
    // index must be the next index of the claimed upload.
    ChunkWriter(UploadClaim host, quint32 index, QObject *parent = nullptr);
    ~ChunkWriter() override;

    // The upload the chunk belongs to, for comparison only: the writer lets go of it once the
    // chunk is committed or discarded, so that an upload ended meanwhile goes at once.
    const ChunkedUpload *host() const { return m_upload; }

    // The chunk will have size bytes: one beyond the upload's limits is refused before any of
    // it is written.
    void expect(qint64 size);

    // Records the chunk under fileName and frees the upload. False if some of the chunk could
    // not be written, or it would pass the upload's limits (tooLarge()): it is then discarded.
    bool commit(const QString &fileName);
    bool tooLarge() const { return m_tooLarge; }
    // Cuts the chunk back out of the partial file and frees the upload.
    void discard();

    int fileDescriptor() const override;
    qint64 fileOffset() const override;
    void bytesPlaced(qint64 size) override;
    void placingFailed() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    UploadClaim m_host;
    const ChunkedUpload *m_upload;
    quint32 m_index;
    qint64 m_start;
    bool m_failed = false;
    bool m_tooLarge = false;
    bool m_done = false;
};
