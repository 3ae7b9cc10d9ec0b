#include "chunkwriter.h"

#include "web/hostchunk.h"

ChunkWriter::ChunkWriter(std::shared_ptr<HostChunk> host, quint32 index, QObject *parent)
    : QIODevice(parent)
    , m_host(std::move(host))
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
    m_host->release();
    return true;
}

void ChunkWriter::discard()
{
    if (m_done)
        return;
    m_host->cutBack(m_start);
    m_done = true;
    m_host->release();
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
