#include "resumerecord.h"

#include "core/jsontext.h"
#include "transfer/receivercontext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString recordSuffix = QStringLiteral(".json");
// A record is a few dozen bytes per file; anything far larger is not one of ours.
constexpr qint64 maxRecordBytes = 512 * 1024 * 1024;

// Counts in a record are whole numbers below 2^53; anything else reads as 0.
quint64 countFrom(const QJsonValue &value)
{
    const double number = value.toDouble();
    return number >= 0 && number <= 9007199254740992.0 ? static_cast<quint64>(number) : 0;
}

} // namespace

ResumeRecord::ResumeRecord(
    QString downloadPath, QString transferFolder, QString senderName, QVector<FileMetadata> offered)
    : folder(std::move(transferFolder))
    , sender(std::move(senderName))
    , files(std::move(offered))
    , downloads(std::move(downloadPath))
{
    written.fill(0, files.size());
    for (int i = 0; i < files.size(); ++i)
        partials.append(QString());
}

QString ResumeRecord::recordsFolder(const QString &downloadPath)
{
    return downloadPath + QStringLiteral("/.orvex-unfinished");
}

QString ResumeRecord::targetPath(int index) const
{
    return downloads + QLatin1Char('/') + folder + QLatin1Char('/') + files.at(index).filename;
}

QString ResumeRecord::partialPath(int index) const
{
    const QString name = partials.value(index);
    // Only a bare hidden name next to its target: a record must not point anywhere else.
    if (!name.startsWith(QLatin1String(".orvex-")) || name.contains(QLatin1Char('/')))
        return QString();
    return QFileInfo(targetPath(index)).absolutePath() + QLatin1Char('/') + name;
}

bool ResumeRecord::save() const
{
    QJsonArray entries;
    for (int i = 0; i < files.size(); ++i)
        entries.append(QJsonObject { { QStringLiteral("filename"), files.at(i).filename },
            { QStringLiteral("size"), static_cast<double>(files.at(i).size) },
            { QStringLiteral("mtime"), static_cast<double>(files.at(i).mtime) },
            { QStringLiteral("written"), static_cast<double>(written.at(i)) },
            { QStringLiteral("partial"), partials.at(i) } });
    const QJsonObject record { { QStringLiteral("folder"), folder }, { QStringLiteral("sender"), sender },
        { QStringLiteral("saved"), (saved.isValid() ? saved : QDateTime::currentDateTimeUtc()).toString(Qt::ISODate) },
        { QStringLiteral("files"), entries } };
    QDir().mkpath(recordsFolder(downloads));
    QSaveFile out(recordsFolder(downloads) + QLatin1Char('/') + folder + recordSuffix);
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(record).toJson(QJsonDocument::Compact)) >= 0
        && out.commit();
}

void ResumeRecord::remove() const
{
    QFile::remove(recordsFolder(downloads) + QLatin1Char('/') + folder + recordSuffix);
}

ResumeRecord ResumeRecord::load(const QString &downloadPath, const QString &recordPath)
{
    QFile in(recordPath);
    if (in.size() > maxRecordBytes || !in.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject object = parseJson(in.readAll()).object();
    ResumeRecord record;
    record.downloads = downloadPath;
    record.folder = object.value(QStringLiteral("folder")).toString();
    // The record names its folder by its own file name; anything else is not trusted.
    if (record.folder + recordSuffix != QFileInfo(recordPath).fileName() || record.folder.contains(QLatin1Char('/')))
        return {};
    record.sender = object.value(QStringLiteral("sender")).toString();
    record.saved = QDateTime::fromString(object.value(QStringLiteral("saved")).toString(), Qt::ISODate);
    const QJsonArray entries = object.value(QStringLiteral("files")).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        if (!ReceiverContext::isSafeName(entry.value(QStringLiteral("filename")).toString()))
            return {};
        record.files.append(
            { entry.value(QStringLiteral("filename")).toString(), countFrom(entry.value(QStringLiteral("size"))),
                static_cast<qint64>(countFrom(entry.value(QStringLiteral("mtime")))) });
        record.written.append(countFrom(entry.value(QStringLiteral("written"))));
        record.partials.append(entry.value(QStringLiteral("partial")).toString());
    }
    return record;
}

ResumeRecord ResumeRecord::find(
    const QString &downloadPath, const QString &sender, const QVector<FileMetadata> &offered)
{
    const QFileInfoList candidates
        = QDir(recordsFolder(downloadPath)).entryInfoList({ QLatin1Char('*') + recordSuffix }, QDir::Files, QDir::Time);
    for (const QFileInfo &candidate : candidates) {
        const ResumeRecord record = load(downloadPath, candidate.filePath());
        if (record.sender != sender || record.files.size() != offered.size())
            continue;
        bool sameNames = true;
        for (int i = 0; i < offered.size() && sameNames; ++i)
            sameNames = record.files.at(i).filename == offered.at(i).filename;
        const QVector<quint64> held = sameNames ? record.heldBytes(offered) : QVector<quint64>();
        if (std::any_of(held.cbegin(), held.cend(), [](quint64 bytes) { return bytes > 0; }))
            return record;
    }
    return {};
}

QVector<quint64> ResumeRecord::heldBytes(const QVector<FileMetadata> &offered) const
{
    QVector<quint64> held(offered.size(), 0);
    for (int i = 0; i < offered.size() && i < files.size(); ++i) {
        const FileMetadata &was = files.at(i);
        const FileMetadata &now = offered.at(i);
        if (was.size != now.size || was.mtime != now.mtime || now.mtime == 0 || written.at(i) == 0
            || written.at(i) > was.size)
            continue;
        if (written.at(i) == was.size) {
            const QFileInfo done(targetPath(i));
            held[i] = done.isFile() && static_cast<quint64>(done.size()) == was.size ? was.size : 0;
        } else {
            const QFileInfo part(partialPath(i));
            held[i] = part.isFile() && static_cast<quint64>(part.size()) >= written.at(i) ? written.at(i) : 0;
        }
    }
    return held;
}

void ResumeRecord::dropStale(const QString &downloadPath)
{
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-maxAgeDays);
    const QFileInfoList records
        = QDir(recordsFolder(downloadPath)).entryInfoList({ QLatin1Char('*') + recordSuffix }, QDir::Files);
    for (const QFileInfo &info : records) {
        const ResumeRecord record = load(downloadPath, info.filePath());
        const bool folderGone = record.isNull() || !QFileInfo(downloadPath + QLatin1Char('/') + record.folder).isDir();
        if (!folderGone && record.saved.isValid() && record.saved >= oldest)
            continue;
        for (int i = 0; i < record.files.size() && !folderGone; ++i) {
            if (!record.partialPath(i).isEmpty())
                QFile::remove(record.partialPath(i));
        }
        QFile::remove(info.filePath());
    }
}
