#pragma once

#include <QByteArray>
#include <QString>

namespace tarsel {
class HttpRequest;
}

// One request to "/hugefile", decoded once from its parameters (those of the query while a body
// still arrives) and the key of its receive session: what it asks for and which upload it
// belongs to. The request mapper and the controller both act on this value.
struct ChunkedUploadRequest
{
    enum class Action { Page, Begin, Status, Finish, Terminate, Chunk };

    Action action = Action::Page;
    // The upload in the map: the client's address, or the session, size and name of a
    // resumable upload. Empty for a resumable upload with an unusable name or size.
    QString uploadKey;
    // The size a resumable upload announced; -1 for a request of the client's one upload, -2
    // for an unusable value.
    qint64 announcedSize = -1;
    // The index a chunk carries, as sent, and as a number when it is one.
    QByteArray indexText;
    bool hasIndex = false;
    quint32 index = 0;
    // The name the file has on the client, as sent.
    QString fileName;

    static ChunkedUploadRequest decode(const tarsel::HttpRequest &request, const QByteArray &sessionKey);
};
