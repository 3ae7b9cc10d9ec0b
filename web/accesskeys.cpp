#include "accesskeys.h"

#include "core/logging.h"

#include <sodium.h>

namespace {

// Equal-length texts compared without an early exit, so the time taken tells nothing about
// how much of a guess was right.
bool sameKey(const QByteArray &key, const QByteArray &candidate)
{
    return !key.isEmpty() && key.size() == candidate.size()
        && sodium_memcmp(key.constData(), candidate.constData(), size_t(key.size())) == 0;
}

} // namespace

AccessKeys::AccessKeys()
{
    // Idempotent and thread-safe; the random source must be ready before the first key.
    if (sodium_init() == -1)
        qCCritical(lcWeb, "libsodium could not be initialised");
}

QByteArray AccessKeys::newKey()
{
    unsigned char random[keyBytes];
    randombytes_buf(random, sizeof random);
    constexpr int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    char text[sodium_base64_ENCODED_LEN(keyBytes, variant)];
    sodium_bin2base64(text, sizeof text, random, sizeof random, variant);
    sodium_memzero(random, sizeof random);
    return QByteArray(text);
}

void AccessKeys::endShare()
{
    QMutexLocker lock(&mutex);
    currentShareKey.clear();
    currentShare = QJsonArray();
    currentText.clear();
}

QByteArray AccessKeys::publishShare(const QJsonArray &files, const QString &text)
{
    const QByteArray key = newKey();
    QMutexLocker lock(&mutex);
    currentShareKey = key;
    currentShare = files;
    currentText = text;
    return key;
}

QString AccessKeys::sharedText() const
{
    QMutexLocker lock(&mutex);
    return currentText;
}

QByteArray AccessKeys::shareKey() const
{
    QMutexLocker lock(&mutex);
    return currentShareKey;
}

QJsonArray AccessKeys::sharedFiles() const
{
    QMutexLocker lock(&mutex);
    return currentShare;
}

QByteArray AccessKeys::startReceiving()
{
    const QByteArray key = newKey();
    QMutexLocker lock(&mutex);
    receiveKeys.append(key);
    return key;
}

QStringList AccessKeys::endReceiving(const QByteArray &key)
{
    QMutexLocker lock(&mutex);
    receiveKeys.removeAll(key);
    QStringList clients;
    for (auto it = chunkedUploads.begin(); it != chunkedUploads.end();) {
        if (it.value() == key) {
            clients.append(it.key());
            it = chunkedUploads.erase(it);
        } else {
            ++it;
        }
    }
    return clients;
}

void AccessKeys::noteChunkedUpload(const QByteArray &key, const QString &upload)
{
    QMutexLocker lock(&mutex);
    chunkedUploads.insert(upload, key);
}

bool AccessKeys::grants(Grant grant, const QByteArray &candidate) const
{
    QMutexLocker lock(&mutex);
    if (grant == Grant::Share)
        return sameKey(currentShareKey, candidate);
    bool found = false;
    for (const QByteArray &key : receiveKeys)
        found |= sameKey(key, candidate);
    return found;
}
