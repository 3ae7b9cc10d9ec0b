#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// One node of the in-memory folder tree that the selected-file manager builds from the send
// list: a folder (with subfolders and files) or a file (with its position in the send list).
// Nothing on disk is touched.
class VirtualFile : public QObject
{
    Q_OBJECT

public:
    // A folder node; the root has no parent and the path "/".
    VirtualFile(const QString &folderPath, VirtualFile *parentFolder, QObject *owner);
    // A file node inside folder.
    VirtualFile(const QString &filePath, const QString &sizeText, int index, VirtualFile *folder);

    // Inserts the file at the send-list position index, whose path is split into parts.
    void insert(QStringList parts, int index, const QString &filePath, const QString &sizeText);
    // Positions of every file below this folder: its own files first, then each subfolder's.
    QList<int> collectIndexes() const;

    QString filePath;
    QString sizeText;
    int index = -1;
    QString path;
    VirtualFile *parentFolder;
    QList<VirtualFile *> files;
    QMap<QString, VirtualFile *> folders;
};
