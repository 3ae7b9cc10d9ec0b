#include "chunkedupload.h"

#include "web/chunk.h"
#include "web/partialfileregistry.h"
#include "web/uploadsupport.h"

#include <chrono>

namespace {

// Chunk records keep the name a client sent only this long: the record is for reference, and
// thousands of chunks with long names must not fill the memory.
constexpr int maxRecordedNameLength = 255;

} // namespace

ChunkedUpload::ChunkedUpload(qint64 maxBytes, QObject *parent)
    : QObject(parent)
    , m_maxBytes(maxBytes)
    , m_lastActivity(clockMs())
{
}

ChunkedUpload::~ChunkedUpload()
{
    qDeleteAll(chunks);
    // Unless it was finished, the partial file goes with it.
    partialFile.close();
    if (!m_path.isEmpty())
        PartialFileRegistry::remove(m_path);
}

bool ChunkedUpload::open(const QString &folder)
{
    if (!PartialFileRegistry::create(
            partialFile, folder, QStringLiteral(".orvex-upload") + QLatin1String(partialFileSuffix)))
        return false;
    // From here on the file goes with this object.
    m_path = partialFile.fileName();
    // Reopened unbuffered: no bytes wait in a buffer that a failed write could leave behind, so
    // cutting the file back always leaves it exact.
    partialFile.close();
    return partialFile.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly);
}

bool ChunkedUpload::hasRoomFor(qint64 bytes) const
{
    return chunks.size() < maxChunksPerUpload && bytes >= 0 && bytes <= m_maxBytes - size();
}

bool ChunkedUpload::append(quint32 index, const QString &fileName, QIODevice &data)
{
    if (!partialFile.isOpen() || index != nextIndex() || !hasRoomFor(data.bytesAvailable()))
        return false;
    const qint64 before = size();
    if (!upload::copyData(data, partialFile)) {
        cutBack(before);
        return false;
    }
    addChunk(index, fileName, size() - before);
    return true;
}

qint64 ChunkedUpload::size() const
{
    return partialFile.isOpen() ? partialFile.pos() : 0;
}

bool ChunkedUpload::write(const char *data, qint64 size)
{
    return partialFile.isOpen() && partialFile.write(data, size) == size;
}

void ChunkedUpload::grewBy(qint64 size)
{
    if (partialFile.isOpen())
        partialFile.seek(partialFile.pos() + size);
}

void ChunkedUpload::addChunk(quint32 index, const QString &fileName, qint64 size)
{
    if (chunks.isEmpty())
        nameAfter(fileName);
    QString recorded = fileName.left(maxRecordedNameLength);
    if (!chunks.isEmpty() && chunks.last()->fileName() == recorded)
        recorded = chunks.last()->fileName(); // shared, not one more copy
    chunks.append(new Chunk(index, recorded, size));
    touch();
}

void ChunkedUpload::cutBack(qint64 size)
{
    if (!partialFile.isOpen())
        return;
    partialFile.resize(size);
    partialFile.seek(size);
}

QString ChunkedUpload::finish(const QString &folder, const QString &name)
{
    if (m_path.isEmpty())
        return QString();
    partialFile.close();
    const QString written = PartialFileRegistry::finish(m_path, folder, name);
    if (!written.isEmpty())
        m_path.clear();
    return written;
}

void ChunkedUpload::touch()
{
    m_lastActivity.store(clockMs());
}

qint64 ChunkedUpload::clockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ChunkedUpload::nameAfter(const QString &fileName)
{
    const QString name = upload::confinedFileName(fileName);
    if (name.isEmpty() || m_path.isEmpty())
        return;
    // An open file can be renamed; a name the file system refuses (too long) keeps the old one.
    const QString renamed
        = PartialFileRegistry::rename(m_path, QLatin1Char('.') + name + QLatin1String(partialFileSuffix));
    if (!renamed.isEmpty())
        m_path = renamed;
}
