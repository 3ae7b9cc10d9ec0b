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
    if (!m_committed)
        m_host->cutBack(m_start);
    m_host->release();
}

bool ChunkWriter::commit(const QString &fileName)
{
    if (m_failed || m_committed)
        return false;
    m_host->addChunk(m_index, fileName, m_host->size() - m_start);
    m_committed = true;
    return true;
}

qint64 ChunkWriter::readData(char *, qint64)
{
    return -1;
}

qint64 ChunkWriter::writeData(const char *data, qint64 size)
{
    if (!m_failed && !m_host->write(data, size))
        m_failed = true;
    return size;
}
