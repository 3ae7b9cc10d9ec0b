#include "sendlist.h"

#include "core/humansize.h"
#include "transfer/context.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

std::optional<SendRefusal> SendList::addFile(const QString &path, const QString &root)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (listedPaths.contains(absolute))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return SendRefusal { SendRefusal::Kind::Unreadable, path };
    if (file.isSequential())
        return SendRefusal { SendRefusal::Kind::NotARegularFile, path };
    QString name;
    if (root.isEmpty()) {
        name = QFileInfo(path).fileName();
    } else {
        // Only the leading root is cut: a folder further down may repeat its name.
        name = absolute;
        const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        if (name.startsWith(prefix))
            name = name.mid(prefix.size());
    }
    list.append({ path, name, file.size() });
    listedPaths.insert(absolute);
    return std::nullopt;
}

QVector<SendRefusal> SendList::addFolder(const QString &path)
{
    QVector<SendRefusal> refusals;
    const QString root = QFileInfo(path).absolutePath();
    const QString top = QFileInfo(path).canonicalFilePath();
    QStringList pending { path };
    // Links inside the folder are followed, so a link back up the tree would loop: each real
    // folder is walked once.
    QSet<QString> walked;
    while (!pending.isEmpty()) {
        const QString folder = pending.takeFirst();
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || walked.contains(real))
            continue;
        walked.insert(real);
        if (!QFileInfo(folder).isReadable()) {
            refusals.append({ SendRefusal::Kind::UnreadableFolder, folder });
            continue;
        }
        const QFileInfoList entries
            = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo &entry : entries) {
            if (entry.isFile()) {
                if (const auto refusal = addFile(entry.filePath(), root))
                    refusals.append(*refusal);
            } else if (entry.isSymLink() && !isWithin(entry.canonicalFilePath(), top)) {
                refusals.append({ SendRefusal::Kind::LinkOutsideFolder, entry.filePath() });
            } else {
                pending.append(entry.filePath());
            }
        }
    }
    return refusals;
}

bool SendList::isWithin(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void SendList::removeRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QVector<SendItem> kept;
    kept.reserve(list.size());
    auto next = std::lower_bound(rows.cbegin(), rows.cend(), 0);
    for (int row = 0; row < list.size(); ++row) {
        if (next != rows.cend() && *next == row) {
            listedPaths.remove(QFileInfo(list.at(row).path).absoluteFilePath());
            while (next != rows.cend() && *next == row)
                ++next;
            continue;
        }
        kept.append(list.at(row));
    }
    list = kept;
}

bool SendList::isTooLong() const
{
    return list.size() > Context::maxOfferedFiles;
}

QList<QPair<QString, QString>> SendList::namesAndSizes() const
{
    QList<QPair<QString, QString>> pairs;
    pairs.reserve(list.size());
    for (const SendItem &item : list)
        pairs.append({ item.name, humanSize(item.size) });
    return pairs;
}

QList<QSharedPointer<QFile>> SendList::files() const
{
    QList<QSharedPointer<QFile>> opened;
    opened.reserve(list.size());
    for (const SendItem &item : list)
        opened.append(QSharedPointer<QFile>::create(item.path));
    return opened;
}
