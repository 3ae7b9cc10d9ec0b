#include "hostchunk.h"

#include "web/chunk.h"
#include "web/uploadsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <chrono>

namespace {

// Chunk records keep the name a client sent only this long: the record is for reference, and
// thousands of chunks with long names must not fill the memory.
constexpr int maxRecordedNameLength = 255;

// The partial files of this process's uploads (canonical paths), which the start-up clean-up
// leaves alone. The lock is held while a partial file is created, renamed or removed, and
// while the clean-up runs, so it never meets a file between its creation and its entry here.
QMutex partialFilesMutex;

QSet<QString> &partialFilesInUse()
{
    static QSet<QString> inUse;
    return inUse;
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

HostChunk::HostChunk(qint64 maxBytes, QObject *parent)
    : QObject(parent)
    , m_maxBytes(maxBytes)
    , m_lastActivity(clockMs())
{
}

HostChunk::~HostChunk()
{
    qDeleteAll(chunks);
    // Unless it was finished, the partial file goes with it.
    partialFile.close();
    if (!m_path.isEmpty()) {
        QMutexLocker lock(&partialFilesMutex);
        partialFilesInUse().remove(canonical(m_path));
        QFile::remove(m_path);
    }
}

bool HostChunk::open(const QString &folder)
{
    QMutexLocker lock(&partialFilesMutex);
    if (!upload::createNewFile(partialFile, folder, QStringLiteral(".orvex-upload") + QLatin1String(partialFileSuffix)))
        return false;
    const QString path = partialFile.fileName();
    // Reopened unbuffered: no bytes wait in a buffer that a failed write could leave behind, so
    // cutting the file back always leaves it exact.
    partialFile.close();
    if (!partialFile.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly)) {
        QFile::remove(path);
        return false;
    }
    m_path = path;
    partialFilesInUse().insert(canonical(m_path));
    return true;
}

bool HostChunk::hasRoomFor(qint64 bytes) const
{
    return chunks.size() < maxChunksPerUpload && bytes >= 0 && bytes <= m_maxBytes - size();
}

bool HostChunk::append(quint32 index, const QString &fileName, QIODevice &data)
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

qint64 HostChunk::size() const
{
    return partialFile.isOpen() ? partialFile.pos() : 0;
}

bool HostChunk::write(const char *data, qint64 size)
{
    return partialFile.isOpen() && partialFile.write(data, size) == size;
}

void HostChunk::addChunk(quint32 index, const QString &fileName, qint64 size)
{
    if (chunks.isEmpty())
        nameAfter(fileName);
    QString recorded = fileName.left(maxRecordedNameLength);
    if (!chunks.isEmpty() && chunks.last()->fileName() == recorded)
        recorded = chunks.last()->fileName(); // shared, not one more copy
    chunks.append(new Chunk(index, recorded, size));
    touch();
}

void HostChunk::cutBack(qint64 size)
{
    if (!partialFile.isOpen())
        return;
    partialFile.resize(size);
    partialFile.seek(size);
}

QString HostChunk::finish(const QString &folder, const QString &name)
{
    if (m_path.isEmpty())
        return QString();
    partialFile.close();
    QMutexLocker lock(&partialFilesMutex);
    const QString key = canonical(m_path);
    const QString written = upload::renameWithoutOverwrite(m_path, folder, name);
    if (!written.isEmpty()) {
        partialFilesInUse().remove(key);
        m_path.clear();
    }
    return written;
}

void HostChunk::touch()
{
    m_lastActivity.store(clockMs());
}

qint64 HostChunk::clockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void HostChunk::nameAfter(const QString &fileName)
{
    const QString name = upload::confinedFileName(fileName);
    if (name.isEmpty() || m_path.isEmpty())
        return;
    QMutexLocker lock(&partialFilesMutex);
    const QString key = canonical(m_path);
    // An open file can be renamed; a name the file system refuses (too long) keeps the old one.
    const QString renamed = upload::renameWithoutOverwrite(
        m_path, QFileInfo(m_path).absolutePath(), QLatin1Char('.') + name + QLatin1String(partialFileSuffix));
    if (renamed.isEmpty())
        return;
    partialFilesInUse().remove(key);
    m_path = renamed;
    partialFilesInUse().insert(canonical(m_path));
}

int removeLeftoverPartialFiles(const QString &folder)
{
    QMutexLocker lock(&partialFilesMutex);
    int removed = 0;
    const QFileInfoList candidates = QDir(folder).entryInfoList(
        { QStringLiteral(".*") + QLatin1String(partialFileSuffix) }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &candidate : candidates) {
        // Regular files only: a link of that name points at something that is not ours.
        if (candidate.isSymLink() || !candidate.isFile() || partialFilesInUse().contains(candidate.canonicalFilePath()))
            continue;
        if (QFile::remove(candidate.absoluteFilePath()))
            ++removed;
    }
    return removed;
}
