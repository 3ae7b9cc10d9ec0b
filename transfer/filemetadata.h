#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// One file of a device-to-device transfer. Inside a running session the entry at the head of the
// queue counts the bytes of that file still to be sent or written.
struct FileMetadata
{
    QString filename;
    quint64 size = 0;
    // Last modification, in milliseconds since the epoch; 0 when the sender did not say.
    qint64 mtime = 0;
};

Q_DECLARE_METATYPE(FileMetadata)
Q_DECLARE_METATYPE(QVector<FileMetadata>)
