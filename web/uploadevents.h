#pragma once

#include <QObject>
#include <QString>

// What the upload controllers tell the rest of the program while they run in the handler
// threads. Lives in the thread that made it; connections to it are queued there.
class UploadEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // An upload finished into folder, and the page asked to show it.
    void folderOpenRequested(const QString &folder);
};
