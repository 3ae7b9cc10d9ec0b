#include "sendfilemanager.h"

#include "core/humansize.h"
#include "transfer/context.h"

SendFileManager::SendFileManager(QObject *parent)
    : QObject(parent)
{
}

void SendFileManager::changeIndex(int row, int col)
{
    Q_UNUSED(col)
    selectedRow = row;
}

QString SendFileManager::refusalText(const SendRefusal &refusal)
{
    switch (refusal.kind) {
    case SendRefusal::Kind::Unreadable:
        return tr("无法打开所选文件！");
    case SendRefusal::Kind::NotARegularFile:
        return tr("所选文件格式不支持！");
    case SendRefusal::Kind::UnreadableFolder:
        return tr("无法读取文件夹 %1").arg(refusal.path);
    case SendRefusal::Kind::LinkOutsideFolder:
        return tr("已跳过指向所选文件夹之外的链接：%1").arg(refusal.path);
    }
    return QString();
}

QString SendFileManager::addFile(const QString &path, const QString &root)
{
    const auto refusal = files.addFile(path, root);
    if (refusal)
        return refusalText(*refusal);
    listChanged();
    return QString();
}

QStringList SendFileManager::addFolder(const QString &path)
{
    QStringList texts;
    const QVector<SendRefusal> refusals = files.addFolder(path);
    for (const SendRefusal &refusal : refusals) {
        // Inside a folder a file's refusal says which file it is about.
        const bool aboutFile
            = refusal.kind == SendRefusal::Kind::Unreadable || refusal.kind == SendRefusal::Kind::NotARegularFile;
        texts.append(aboutFile ? tr("%1：%2").arg(refusal.path, refusalText(refusal)) : refusalText(refusal));
    }
    listChanged();
    return texts;
}

void SendFileManager::removeSelected()
{
    removeRows({ selectedRow });
    selectedRow = -1;
}

void SendFileManager::removeRows(const QList<int> &rows)
{
    files.removeRows(rows);
    listChanged();
}

QString SendFileManager::offerTooLong() const
{
    if (!files.isTooLong())
        return QString();
    return tr("所选文件过多（%1 个），文件清单超出了一次传输的上限。\n请减少到约 %2 "
              "个以内（文件名越长，可发送的数量越少）后再发送。")
        .arg(files.size())
        .arg(Context::maxOfferedFiles);
}

void SendFileManager::listChanged()
{
    // Files are added at the end and removed anywhere: rows are appended for what is new, and
    // rebuilt only after a removal.
    if (files.size() < sendList.size()) {
        sendList.clear();
        sendFiles.clear();
    }
    for (int row = int(sendList.size()); row < files.size(); ++row) {
        const SendItem &item = files.items().at(row);
        sendList.append({ item.name, humanSize(item.size) });
        sendFiles.append(QSharedPointer<QFile>::create(item.path));
    }
}
