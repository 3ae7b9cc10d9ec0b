#include "partialfileregistry.h"

#include "core/logging.h"
#include "web/uploadsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Held while a partial file is created, renamed or removed together with its record, and while
// the clean-up runs, so that it never meets a file between its creation and its record.
QMutex registryMutex;

// The recorded partial files of this process's uploads in progress.
QSet<QString> &partialFilesInUse()
{
    static QSet<QString> inUse;
    return inUse;
}

// The registry's key of the file at path: its folder's canonical path and its name.
QString keyOf(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

// The inode of the regular file at path (not followed if it is a link); 0 when it is none.
qint64 inodeOf(const QString &path)
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return qint64(status.st_ino);
}

bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QJsonObject load()
{
    QFile file(PartialFileRegistry::registryPath());
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

// A registry that could not be written only costs the clean-up: a file without its record is
// never removed.
void save(const QJsonObject &records)
{
    const QString path = PartialFileRegistry::registryPath();
    if (records.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(records).toJson(QJsonDocument::Compact)) < 0
        || !file.commit())
        qCWarning(lcWeb, "cannot write the record of partial uploads %s", qPrintable(path));
}

// Records the file at path as made by this process and in use. Called with the lock held.
void record(const QString &path)
{
    const qint64 inode = inodeOf(path);
    if (inode == 0)
        return;
    const QString key = keyOf(path);
    QJsonObject records = load();
    records.insert(
        key, QJsonObject { { QStringLiteral("inode"), inode }, { QStringLiteral("pid"), qint64(::getpid()) } });
    save(records);
    partialFilesInUse().insert(key);
}

// Called with the lock held.
void forget(const QString &key)
{
    partialFilesInUse().remove(key);
    QJsonObject records = load();
    if (records.contains(key)) {
        records.remove(key);
        save(records);
    }
}

} // namespace

QString PartialFileRegistry::registryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/web-partial-files.json");
}

bool PartialFileRegistry::create(QFile &file, const QString &folder, const QString &name)
{
    QMutexLocker lock(&registryMutex);
    if (!upload::createNewFile(file, folder, name))
        return false;
    record(file.fileName());
    return true;
}

QString PartialFileRegistry::rename(const QString &path, const QString &name)
{
    QMutexLocker lock(&registryMutex);
    const QString key = keyOf(path);
    const QString renamed = upload::renameWithoutOverwrite(path, QFileInfo(path).absolutePath(), name);
    if (renamed.isEmpty())
        return QString();
    // The record of the old name goes once the file has its new one: a record never names a
    // file that Orvex did not make.
    forget(key);
    record(renamed);
    return renamed;
}

QString PartialFileRegistry::finish(const QString &path, const QString &folder, const QString &name)
{
    QMutexLocker lock(&registryMutex);
    const QString key = keyOf(path);
    const QString written = upload::renameWithoutOverwrite(path, folder, name);
    if (!written.isEmpty())
        forget(key);
    return written;
}

void PartialFileRegistry::remove(const QString &path)
{
    QMutexLocker lock(&registryMutex);
    forget(keyOf(path));
    QFile::remove(path);
}

int PartialFileRegistry::removeLeftovers(const QString &folder)
{
    QMutexLocker lock(&registryMutex);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (canonicalFolder.isEmpty())
        return 0;
    QJsonObject records = load();
    const QJsonObject before = records;
    int removed = 0;
    for (auto it = before.begin(); it != before.end(); ++it) {
        const QString &path = it.key();
        const QFileInfo info(path);
        if (info.absolutePath() != canonicalFolder || partialFilesInUse().contains(path))
            continue;
        const QJsonObject entry = it.value().toObject();
        const qint64 pid = entry.value(QStringLiteral("pid")).toVariant().toLongLong();
        // Another Orvex that still runs may be receiving into the same folder.
        if (pid != qint64(::getpid()) && processRuns(pid))
            continue;
        const qint64 inode = entry.value(QStringLiteral("inode")).toVariant().toLongLong();
        if (inode != 0 && inodeOf(path) == inode && QFile::remove(path))
            ++removed;
        records.remove(path);
    }
    if (records != before)
        save(records);
    return removed;
}

PartialFile::~PartialFile()
{
    discard();
}

void PartialFile::discard()
{
    m_file.close();
    if (m_recorded)
        PartialFileRegistry::remove(m_file.fileName());
    m_recorded = false;
}

bool PartialFile::create(const QString &folder, const QString &name)
{
    m_recorded = PartialFileRegistry::create(m_file, folder, name);
    return m_recorded;
}

QString PartialFile::finish(const QString &folder, const QString &name)
{
    m_file.close();
    const QString written = PartialFileRegistry::finish(m_file.fileName(), folder, name);
    if (!written.isEmpty())
        m_recorded = false;
    return written;
}

bool PartialFileDevice::create(const QString &folder, const QString &name)
{
    return m_partial.create(folder, name) && open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

QString PartialFileDevice::finish(const QString &folder, const QString &name)
{
    if (m_failed || !isOpen() || !m_partial.file().flush())
        return QString();
    close();
    return m_partial.finish(folder, name);
}

void PartialFileDevice::discard()
{
    close();
    m_partial.discard();
}

qint64 PartialFileDevice::readData(char *, qint64)
{
    return -1;
}

qint64 PartialFileDevice::writeData(const char *data, qint64 size)
{
    const qint64 written = m_partial.file().write(data, size);
    // A short write leaves a gap the next write would close over: the file is not whole.
    if (written != size)
        m_failed = true;
    return written;
}
