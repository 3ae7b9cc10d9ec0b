#include "resumerecord.h"

#include "core/jsontext.h"
#include "transfer/safename.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <sodium.h>

namespace {

const QString recordSuffix = QStringLiteral(".json");
const QString partialPrefix = QStringLiteral(".orvex-");
const QString partialSuffix = QStringLiteral(".part");
// Records of the earlier kind listed every file; this bounds what start-up reads to remove them.
constexpr qint64 maxEarlierRecordBytes = 256 * 1024 * 1024;

// Counts in a record are whole numbers below 2^53; anything else reads as 0.
quint64 countFrom(const QJsonValue &value)
{
    const double number = value.toDouble();
    return number >= 0 && number <= 9007199254740992.0 ? static_cast<quint64>(number) : 0;
}

// A folder or file name inside the transfer folder that a record may name: the rule of the
// names a sender may offer.
bool isPlainRelative(const QString &name)
{
    return isSafeName(name);
}

void addLittleEndian(crypto_generichash_state &state, quint64 value)
{
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    crypto_generichash_update(&state, bytes, sizeof bytes);
}

void addText(crypto_generichash_state &state, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(utf8.constData()),
        static_cast<unsigned long long>(utf8.size() + 1));
}

QJsonObject readObject(const QString &path, qint64 limit)
{
    QFile in(path);
    if (in.size() > limit || !in.open(QIODevice::ReadOnly))
        return {};
    return parseJson(in.readAll()).object();
}

} // namespace

ResumeRecord::ResumeRecord(QString downloadPath, QString transferFolder, QString senderName, QVector<FileMetadata> offered)
    : folder(std::move(transferFolder))
    , sender(std::move(senderName))
    , downloads(std::move(downloadPath))
    , files(std::move(offered))
{
    key = keyFor(sender, files);
    randombytes_buf(&partialBase, sizeof partialBase);
}

QString ResumeRecord::keyFor(const QString &sender, const QVector<FileMetadata> &offered)
{
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, 32);
    addText(state, sender);
    addLittleEndian(state, static_cast<quint64>(offered.size()));
    for (const FileMetadata &file : offered) {
        addText(state, file.filename);
        addLittleEndian(state, file.size);
        addLittleEndian(state, static_cast<quint64>(file.mtime));
    }
    QByteArray digest(32, '\0');
    crypto_generichash_final(&state, reinterpret_cast<unsigned char *>(digest.data()), 32);
    return QString::fromLatin1(digest.toHex());
}

QString ResumeRecord::recordsFolder(const QString &downloadPath)
{
    return downloadPath + QStringLiteral("/.orvex-unfinished");
}

QString ResumeRecord::partialName(quint64 number)
{
    return partialPrefix + QStringLiteral("%1").arg(number, 16, 16, QLatin1Char('0')) + partialSuffix;
}

QString ResumeRecord::transferRoot() const
{
    return downloads + QLatin1Char('/') + folder;
}

QString ResumeRecord::targetPath(int index) const
{
    const QString name = beside.value(index, files.at(index).filename);
    return transferRoot() + QLatin1Char('/') + name;
}

QString ResumeRecord::partialPath(int index) const
{
    const QFileInfo target(transferRoot() + QLatin1Char('/') + files.at(index).filename);
    return target.path() + QLatin1Char('/') + partialName(partialBase + static_cast<quint64>(index));
}

ResumeRecord ResumeRecord::find(const QString &downloadPath, const QString &sender, const QVector<FileMetadata> &offered)
{
    ResumeRecord record;
    record.key = keyFor(sender, offered);
    const QJsonObject object = readObject(recordsFolder(downloadPath) + QLatin1Char('/') + record.key + recordSuffix, maxRecordBytes);
    const QString folder = object.value(QStringLiteral("folder")).toString();
    bool baseRead = false;
    record.partialBase = object.value(QStringLiteral("partial_base")).toString().toULongLong(&baseRead, 16);
    if (object.value(QStringLiteral("key")).toString() != record.key || !baseRead || folder.contains(QLatin1Char('/'))
        || !isPlainRelative(folder) || countFrom(object.value(QStringLiteral("files"))) != static_cast<quint64>(offered.size())
        || !QFileInfo(downloadPath + QLatin1Char('/') + folder).isDir())
        return {};
    record.folder = folder;
    record.sender = sender;
    record.downloads = downloadPath;
    record.files = offered;
    record.done = static_cast<int>(qMin<quint64>(countFrom(object.value(QStringLiteral("done"))), offered.size()));
    record.saved = QDateTime::fromString(object.value(QStringLiteral("saved")).toString(), Qt::ISODate);
    const QJsonObject beside = object.value(QStringLiteral("beside")).toObject();
    for (auto it = beside.constBegin(); it != beside.constEnd(); ++it) {
        bool isIndex = false;
        const int index = it.key().toInt(&isIndex);
        if (isIndex && index >= 0 && index < offered.size() && isPlainRelative(it.value().toString()))
            record.beside.insert(index, it.value().toString());
    }
    return record;
}

QVector<ResumeRecord::Held> ResumeRecord::held() const
{
    QVector<Held> result(files.size());
    for (int i = 0; i < files.size(); ++i) {
        const quint64 size = files.at(i).size;
        const QFileInfo target(targetPath(i));
        const bool whole = target.isFile() && static_cast<quint64>(target.size()) == size;
        if (i < done || size == 0) {
            result[i] = { whole ? size : 0, whole };
            continue;
        }
        // Beyond the count last written, files may have been completed or begun since: what is
        // there is found, up to the first file of which nothing is.
        const QFileInfo partial(partialPath(i));
        if (partial.isFile() && partial.size() > 0)
            result[i] = { qMin<quint64>(static_cast<quint64>(partial.size()), size), false };
        else if (whole)
            result[i] = { size, true };
        else
            break;
    }
    return result;
}

void ResumeRecord::removePartials(const QString &root, quint64 base, int count)
{
    QDirIterator it(root, { partialPrefix + QLatin1Char('*') + partialSuffix }, QDir::Files | QDir::Hidden,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        const QString digits = name.mid(partialPrefix.size(), name.size() - partialPrefix.size() - partialSuffix.size());
        bool isNumber = false;
        const quint64 number = digits.toULongLong(&isNumber, 16);
        // Only the session's own names: a number counted from its base, in sixteen digits.
        if (isNumber && digits.size() == 16 && number - base < static_cast<quint64>(count))
            QFile::remove(it.filePath());
    }
}

bool ResumeRecord::save()
{
    const bool isNew = !QFileInfo::exists(recordsFolder(downloads) + QLatin1Char('/') + key + recordSuffix);
    if (!QDir().mkpath(recordsFolder(downloads)))
        return false;
    if (isNew)
        makeRoom();
    if (!saved.isValid())
        saved = QDateTime::currentDateTimeUtc();
    QJsonObject besideNames;
    for (auto it = beside.constBegin(); it != beside.constEnd(); ++it)
        besideNames.insert(QString::number(it.key()), it.value());
    const QJsonObject record { { QStringLiteral("beside"), besideNames }, { QStringLiteral("done"), done },
        { QStringLiteral("files"), files.size() }, { QStringLiteral("folder"), folder }, { QStringLiteral("key"), key },
        { QStringLiteral("partial_base"), QString::number(partialBase, 16) },
        { QStringLiteral("saved"), saved.toString(Qt::ISODate) }, { QStringLiteral("sender"), sender } };
    // Written beside and renamed over, without waiting for the disk: a record that a power cut
    // leaves stale only points at less than there is.
    QSaveFile out(recordsFolder(downloads) + QLatin1Char('/') + key + recordSuffix);
    out.setDirectWriteFallback(false);
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(record).toJson(QJsonDocument::Compact)) >= 0
        && out.commit();
}

void ResumeRecord::makeRoom() const
{
    // Newest first: the oldest go until the new record fits both bounds.
    QFileInfoList records = QDir(recordsFolder(downloads)).entryInfoList({ QLatin1Char('*') + recordSuffix }, QDir::Files, QDir::Time);
    qint64 bytes = 0;
    for (const QFileInfo &info : qAsConst(records))
        bytes += info.size();
    while (!records.isEmpty() && (records.size() >= maxRecords || bytes > maxAllRecordsBytes - maxRecordBytes)) {
        const QFileInfo oldest = records.takeLast();
        bytes -= oldest.size();
        const QJsonObject object = readObject(oldest.filePath(), maxRecordBytes);
        bool baseRead = false;
        const quint64 base = object.value(QStringLiteral("partial_base")).toString().toULongLong(&baseRead, 16);
        const QString oldFolder = object.value(QStringLiteral("folder")).toString();
        if (baseRead && isPlainRelative(oldFolder) && !oldFolder.contains(QLatin1Char('/')))
            removePartials(downloads + QLatin1Char('/') + oldFolder, base,
                static_cast<int>(qMin<quint64>(countFrom(object.value(QStringLiteral("files"))), INT_MAX)));
        QFile::remove(oldest.filePath());
    }
}

void ResumeRecord::remove() const
{
    QFile::remove(recordsFolder(downloads) + QLatin1Char('/') + key + recordSuffix);
}

void ResumeRecord::dropStale(const QString &downloadPath)
{
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-maxAgeDays);
    const QFileInfoList records
        = QDir(recordsFolder(downloadPath)).entryInfoList({ QLatin1Char('*') + recordSuffix }, QDir::Files);
    for (const QFileInfo &info : records) {
        const QJsonObject object = readObject(info.filePath(), maxEarlierRecordBytes);
        const QString folder = object.value(QStringLiteral("folder")).toString();
        const bool folderNamed = isPlainRelative(folder) && !folder.contains(QLatin1Char('/'));
        const QString root = downloadPath + QLatin1Char('/') + folder;
        if (object.value(QStringLiteral("files")).isArray()) {
            // A record of the earlier kind, which no session continues any more: its partial
            // files, each named in it beside its target, go with it.
            const QJsonArray entries = object.value(QStringLiteral("files")).toArray();
            for (const QJsonValue &value : entries) {
                const QString name = value.toObject().value(QStringLiteral("filename")).toString();
                const QString partial = value.toObject().value(QStringLiteral("partial")).toString();
                if (folderNamed && isPlainRelative(name) && partial.startsWith(partialPrefix)
                    && partial.endsWith(partialSuffix) && !partial.contains(QLatin1Char('/')))
                    QFile::remove(QFileInfo(root + QLatin1Char('/') + name).path() + QLatin1Char('/') + partial);
            }
            QFile::remove(info.filePath());
            continue;
        }
        bool baseRead = false;
        const quint64 base = object.value(QStringLiteral("partial_base")).toString().toULongLong(&baseRead, 16);
        const QDateTime saved = QDateTime::fromString(object.value(QStringLiteral("saved")).toString(), Qt::ISODate);
        const bool valid = baseRead && folderNamed && object.value(QStringLiteral("key")).toString() + recordSuffix == info.fileName();
        if (valid && QFileInfo(root).isDir() && saved.isValid() && saved >= oldest)
            continue;
        if (valid)
            removePartials(root, base, static_cast<int>(qMin<quint64>(countFrom(object.value(QStringLiteral("files"))), INT_MAX)));
        QFile::remove(info.filePath());
    }
}
