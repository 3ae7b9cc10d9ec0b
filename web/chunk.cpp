#include "chunk.h"

Chunk::Chunk(quint32 index, const QString &fileName, qint64 size, QObject *parent)
    : QObject(parent)
    , m_index(index)
    , m_fileName(fileName)
    , m_size(size)
{
}
