#include "chunkwriter.h"

#include "web/chunkedupload.h"

ChunkWriter::ChunkWriter(UploadClaim host, quint32 index, QObject *parent)
    : tarsel::FileBodyDevice(parent)
    , m_host(std::move(host))
    , m_upload(m_host.get())
    , m_index(index)
    , m_start(m_host->size())
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ChunkWriter::~ChunkWriter()
{
    discard();
}

bool ChunkWriter::commit(const QString &fileName)
{
    // An empty chunk writes nothing, yet it is one more record.
    if (!m_done && !m_failed && !m_host->hasRoomFor(0))
        m_failed = m_tooLarge = true;
    if (m_done || m_failed) {
        discard();
        return false;
    }
    m_host->addChunk(m_index, fileName, m_host->size() - m_start);
    m_done = true;
    m_host.reset();
    return true;
}

void ChunkWriter::discard()
{
    if (m_done)
        return;
    m_host->cutBack(m_start);
    m_done = true;
    m_host.reset();
}

void ChunkWriter::expect(qint64 size)
{
    if (!m_done && !m_failed && !m_host->hasRoomFor(size))
        m_failed = m_tooLarge = true;
}

int ChunkWriter::fileDescriptor() const
{
    return m_done || m_failed ? -1 : m_host->fileDescriptor();
}

qint64 ChunkWriter::fileOffset() const
{
    return m_done ? 0 : m_host->size();
}

void ChunkWriter::bytesPlaced(qint64 size)
{
    if (m_done || m_failed)
        return;
    m_host->grewBy(size);
    m_host->touch();
}

void ChunkWriter::placingFailed()
{
    m_failed = true;
}

qint64 ChunkWriter::readData(char *, qint64)
{
    return -1;
}

qint64 ChunkWriter::writeData(const char *data, qint64 size)
{
    if (m_done || m_failed)
        return size;
    if (!m_host->hasRoomFor(size))
        m_failed = m_tooLarge = true;
    else if (!m_host->write(data, size))
        m_failed = true;
    else
        m_host->touch();
    return size;
}
