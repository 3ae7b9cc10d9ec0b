#include "prefixdigests.h"

#include <QFile>
#include <QtConcurrent>

#include <sodium.h>

namespace {

constexpr qint64 readBlock = 1024 * 1024;

} // namespace

PrefixDigests::PrefixDigests(QObject *parent)
    : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<QVector<QByteArray>>::finished, this,
        [this] { emit ready(watcher.future().result()); });
}

PrefixDigests::~PrefixDigests()
{
    // The work holds only its own copies: it may end after its session is gone.
    watcher.disconnect(this);
}

QByteArray PrefixDigests::digest(const QString &path, quint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || static_cast<quint64>(file.size()) < bytes)
        return QByteArray();
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, digestBytes);
    QByteArray block(static_cast<int>(readBlock), Qt::Uninitialized);
    for (quint64 left = bytes; left > 0;) {
        const qint64 wanted = qMin<qint64>(readBlock, static_cast<qint64>(left));
        if (file.read(block.data(), wanted) != wanted)
            return QByteArray();
        crypto_generichash_update(&state, reinterpret_cast<const unsigned char *>(block.constData()),
            static_cast<unsigned long long>(wanted));
        left -= static_cast<quint64>(wanted);
    }
    QByteArray result(digestBytes, '\0');
    crypto_generichash_final(&state, reinterpret_cast<unsigned char *>(result.data()), digestBytes);
    return result;
}

void PrefixDigests::start(QVector<Prefix> prefixes)
{
    watcher.setFuture(QtConcurrent::run([prefixes = std::move(prefixes)] {
        QVector<QByteArray> digests;
        digests.reserve(prefixes.size());
        for (const Prefix &prefix : prefixes)
            digests.append(digest(prefix.path, prefix.bytes));
        return digests;
    }));
}
