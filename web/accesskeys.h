#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QStringList>

// The keys that open the web pages: one for the current share (its list page and downloads)
// and one per live receive session (the upload pages and their calls). Keys are fresh random
// texts of keyBytes bytes, URL-safe base64 without padding; a key is never derived from
// anything a browser could guess. Used from the GUI thread (publish, end) and from the handler
// threads (checks) at once.
class AccessKeys
{
public:
    enum class Grant { Share, Receive };

    // 128 bits of randomness per key.
    static constexpr int keyBytes = 16;

    AccessKeys();

    // A new random key text.
    static QByteArray newKey();

    // Ends the current share: its key opens nothing from now on.
    void endShare();
    // Makes files (the list the list page shows) and text (shown above them; may be empty) the
    // current share under a new key, which it returns. The previous share's key stops working.
    QByteArray publishShare(const QJsonArray &files, const QString &text = QString());
    QByteArray shareKey() const;
    QJsonArray sharedFiles() const;
    QString sharedText() const;

    // A new receive session; returns its key.
    QByteArray startReceiving();
    // Ends the session of key; returns the chunk-map keys of the chunked uploads begun in it,
    // which must be stopped.
    QStringList endReceiving(const QByteArray &key);
    // Remembers that the chunked upload of upload (its chunk-map key) began in the receive
    // session of key.
    void noteChunkedUpload(const QByteArray &key, const QString &upload);

    // Whether candidate is the key of the live share (Share) or of a live receive session
    // (Receive). Compared in constant time against every live key.
    bool grants(Grant grant, const QByteArray &candidate) const;

private:
    mutable QMutex mutex;
    QByteArray currentShareKey;
    QJsonArray currentShare;
    QString currentText;
    QList<QByteArray> receiveKeys;
    // Chunk-map key of a chunked upload -> key of the session it was begun in.
    QMap<QString, QByteArray> chunkedUploads;
};
