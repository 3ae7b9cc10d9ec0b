#include "identity.h"

#include "core/logging.h"
#include "core/paireddevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sodium.h>

#include <fcntl.h>
#include <unistd.h>

static_assert(Identity::publicKeyBytes == crypto_sign_PUBLICKEYBYTES);
static_assert(Identity::signatureBytes == crypto_sign_BYTES);

Identity::Identity(const QString &path)
    : filePath(path)
{
    if (sodium_init() < 0)
        return;
    if (!QFileInfo::exists(filePath) && !create())
        qCWarning(lcTransfer) << "cannot create the identity key" << filePath;
    if (!load()) {
        qCWarning(lcTransfer) << "no identity key in" << filePath << "- sessions prove no identity";
        publicKeyValue.clear();
        secretKey.clear();
    }
}

const Identity &Identity::own()
{
    static const Identity identity(
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/identity.key"));
    return identity;
}

QString Identity::fingerprint() const
{
    return isValid() ? PairedDevices::fingerprintOf(publicKeyValue) : QString();
}

bool Identity::load()
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray key = file.read(crypto_sign_SECRETKEYBYTES + 1);
    if (key.size() != crypto_sign_SECRETKEYBYTES)
        return false;
    // The public half is stored after the seed; it must be the seed's.
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(publicKey, secret, reinterpret_cast<const unsigned char *>(key.constData()));
    const bool consistent = sodium_memcmp(secret, key.constData(), crypto_sign_SECRETKEYBYTES) == 0;
    sodium_memzero(secret, sizeof secret);
    if (!consistent)
        return false;
    secretKey = key;
    publicKeyValue = QByteArray(reinterpret_cast<const char *>(publicKey), crypto_sign_PUBLICKEYBYTES);
    return true;
}

bool Identity::create()
{
    if (!QDir().mkpath(QFileInfo(filePath).absolutePath()))
        return false;
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secret);
    // Written in full under a name of its own, then linked to the final name, which fails when
    // another process created it meanwhile: then that one's key is the key.
    const QByteArray temporary = QFile::encodeName(filePath + QStringLiteral(".%1.new").arg(getpid()));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool written = false;
    if (fd >= 0) {
        written = ::write(fd, secret, sizeof secret) == qint64(sizeof secret) && ::fsync(fd) == 0;
        ::close(fd);
    }
    sodium_memzero(secret, sizeof secret);
    const bool linked = written && ::link(temporary.constData(), QFile::encodeName(filePath).constData()) == 0;
    ::unlink(temporary.constData());
    return linked || QFileInfo::exists(filePath);
}

QByteArray Identity::sign(const QByteArray &message) const
{
    if (!isValid())
        return QByteArray();
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
        reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
        reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return signature;
}

bool Identity::verify(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature)
{
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES || signature.size() != crypto_sign_BYTES)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.constData()),
               reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
               reinterpret_cast<const unsigned char *>(publicKey.constData()))
        == 0;
}
