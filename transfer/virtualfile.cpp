#include "virtualfile.h"

VirtualFile::VirtualFile(const QString &folderPath, VirtualFile *folder, QObject *owner)
    : QObject(owner)
    , path(folderPath)
    , parentFolder(folder)
{
}

VirtualFile::VirtualFile(const QString &file, const QString &size, int position, VirtualFile *folder)
    : QObject(folder)
    , filePath(file)
    , sizeText(size)
    , index(position)
    , path(folder->path)
    , parentFolder(folder)
{
}

void VirtualFile::insert(QStringList parts, int position, const QString &file, const QString &size)
{
    VirtualFile *folder = this;
    while (parts.size() >= 2) {
        const QString name = parts.takeFirst();
        VirtualFile *next = folder->folders.value(name);
        if (!next) {
            next = new VirtualFile(folder->path + name + QLatin1Char('/'), folder, folder);
            folder->folders.insert(name, next);
        }
        folder = next;
    }
    folder->files.append(new VirtualFile(file, size, position, folder));
}

QList<int> VirtualFile::collectIndexes() const
{
    QList<int> indexes;
    for (const VirtualFile *file : files)
        indexes.append(file->index);
    for (const VirtualFile *folder : folders)
        indexes.append(folder->collectIndexes());
    return indexes;
}
