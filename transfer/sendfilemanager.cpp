#include "sendfilemanager.h"

#include "core/humansize.h"
#include "transfer/context.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

SendFileManager::SendFileManager(QObject *parent)
    : QObject(parent)
{
}

void SendFileManager::changeIndex(int row, int col)
{
    Q_UNUSED(col)
    selectedRow = row;
}

QString SendFileManager::addFile(const QString &path, const QString &root)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (listedPaths.contains(absolute))
        return QString();
    auto file = QSharedPointer<QFile>::create(path);
    if (!file->open(QIODevice::ReadOnly))
        return tr("无法打开所选文件！");
    if (file->isSequential())
        return tr("所选文件格式不支持！");
    // Closed again at once: a folder of thousands of photos would otherwise run into the
    // process's limit of open files. Each sending session opens the files one by one.
    file->close();
    sendFiles.append(file);
    listedPaths.insert(absolute);
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
    sendList.append({ name, humanSize(file->size()) });
    return QString();
}

QStringList SendFileManager::addFolder(const QString &path)
{
    QStringList refusals;
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
            refusals.append(tr("无法读取文件夹 %1").arg(folder));
            continue;
        }
        const QFileInfoList entries
            = QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo &entry : entries) {
            if (entry.isFile()) {
                // Inside a folder the refusal says which file it is about.
                const QString refusal = addFile(entry.filePath(), root);
                if (!refusal.isEmpty())
                    refusals.append(tr("%1：%2").arg(entry.filePath(), refusal));
            } else if (entry.isSymLink() && !isWithin(entry.canonicalFilePath(), top)) {
                // A link to / or to the home folder would send far more than was chosen.
                refusals.append(tr("已跳过指向所选文件夹之外的链接：%1").arg(entry.filePath()));
            } else {
                pending.append(entry.filePath());
            }
        }
    }
    return refusals;
}

bool SendFileManager::isWithin(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

void SendFileManager::removeSelected()
{
    removeRows({ selectedRow });
    selectedRow = -1;
}

void SendFileManager::removeRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    const int count = int(std::min(sendList.size(), sendFiles.size()));
    QList<QPair<QString, QString>> keptList;
    QList<QSharedPointer<QFile>> keptFiles;
    keptList.reserve(count);
    keptFiles.reserve(count);
    auto next = std::lower_bound(rows.cbegin(), rows.cend(), 0);
    for (int row = 0; row < count; ++row) {
        if (next != rows.cend() && *next == row) {
            listedPaths.remove(QFileInfo(sendFiles.at(row)->fileName()).absoluteFilePath());
            while (next != rows.cend() && *next == row)
                ++next;
            continue;
        }
        keptList.append(sendList.at(row));
        keptFiles.append(sendFiles.at(row));
    }
    sendList = keptList;
    sendFiles = keptFiles;
}

QString SendFileManager::offerTooLong() const
{
    if (sendList.size() <= Context::maxOfferedFiles)
        return QString();
    return tr("所选文件过多（%1 个），文件清单超出了一次传输的上限。\n请减少到约 %2 "
              "个以内（文件名越长，可发送的数量越少）后再发送。")
        .arg(sendList.size())
        .arg(Context::maxOfferedFiles);
}
