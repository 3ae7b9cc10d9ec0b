#pragma once

#include <QObject>
#include <QString>

// What the upload controllers tell the rest of the program while they run in the handler
// threads. Lives in the thread that made it; connections to it are queued there. Only requests
// that carry the key of a live receive session reach the controllers.
class UploadEvents : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // An upload request (a file, a chunk, a step of the protocol) is being served.
    void uploadActivity();
    // An uploaded file is complete at path, in the download folder.
    void fileSaved(const QString &path);
    // The page said that its batch of uploads into folder is complete.
    void batchFinished(const QString &folder);
    // A text arrived from the upload page of the receive session of sessionKey (line ends "\n",
    // otherwise as sent: it is for the layer above to show it safely).
    void textReceived(const QByteArray &sessionKey, const QString &text);
};
