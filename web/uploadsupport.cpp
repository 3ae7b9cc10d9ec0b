#include "uploadsupport.h"

#include "httpserver/httpresponse.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <functional>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace upload {

namespace {

constexpr qint64 copyBlockSize = 1024 * 1024;
// Gives up looking for a free "name (n)" after this many tries.
constexpr int maxNumberedNames = 10000;

QString candidateName(const QString &name, int attempt)
{
    return attempt == 0 ? name : numberedFileName(name, attempt);
}

enum class Placing { Done, Taken, Failed };

// Offers place() folder/name, then folder/"name (1).ext", "name (2).ext"... until it takes one
// (Done) or fails for another reason than the name being taken. Returns the path placed, or an
// empty text. Creates the folder when it is missing.
QString placeUnderFreeName(
    const QString &folder, const QString &name, const std::function<Placing(const QString &target)> &place)
{
    QDir().mkpath(folder);
    for (int attempt = 0; attempt < maxNumberedNames; ++attempt) {
        const QString target = folder + QLatin1Char('/') + candidateName(name, attempt);
        switch (place(target)) {
        case Placing::Done:
            return target;
        case Placing::Failed:
            return QString();
        case Placing::Taken:
            break;
        }
    }
    return QString();
}

// Received files are readable like any other file of the user's, whatever mode their temporary
// file was created with. Passes path on.
QString receivedFile(const QString &path)
{
    if (!path.isEmpty()) {
        QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
    return path;
}

#ifdef Q_OS_LINUX
enum class KernelCopy { Done, Failed, Unsupported };

// Errors that say the kernel cannot copy between these two files at all (another file system
// on older kernels, a file system or descriptor kind without support); the bytes then go
// through user space instead.
bool kernelCopyUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF
        || error == EPERM || error == ETXTBSY;
}

// Copies from source's position to its end onto target's position with copy_file_range, so
// the data never passes through user space (on some file systems it is not even copied).
// Both positions are moved past the copied bytes, as reading and writing would. Unsupported
// leaves both positions as they were, so the caller can copy the ordinary way.
KernelCopy copyInKernel(QIODevice &source, QIODevice &target)
{
    auto *in = qobject_cast<QFileDevice *>(&source);
    auto *out = qobject_cast<QFileDevice *>(&target);
    if (!in || !out || in->handle() < 0 || out->handle() < 0 || in->isSequential() || out->isSequential())
        return KernelCopy::Unsupported;
    // Bytes still in the target's buffer go first; the source's buffer is skipped by reading
    // from its logical position.
    if (!out->flush())
        return KernelCopy::Failed;
    const loff_t inStart = in->pos();
    const loff_t outStart = out->pos();
    loff_t inOffset = inStart;
    loff_t outOffset = outStart;
    const loff_t end = in->size();
    while (inOffset < end) {
        const ssize_t copied = ::copy_file_range(
            in->handle(), &inOffset, out->handle(), &outOffset, size_t(qMin<loff_t>(end - inOffset, 1 << 30)), 0);
        if (copied > 0)
            continue;
        if (copied == 0) // The source got shorter meanwhile: its end is reached.
            break;
        if (errno == EINTR)
            continue;
        if (inOffset == inStart && kernelCopyUnsupported(errno))
            return KernelCopy::Unsupported;
        out->seek(outOffset);
        return KernelCopy::Failed;
    }
    if (!in->seek(inOffset) || !out->seek(outOffset))
        return KernelCopy::Failed;
    return KernelCopy::Done;
}
#endif

} // namespace

QString confinedFileName(const QString &name)
{
    const int cut = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const QString last = name.mid(cut + 1);
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..") || last.contains(QChar(0))
        || last.startsWith(QLatin1String(ownNamePrefix), Qt::CaseInsensitive))
        return QString();
    return last;
}

QString numberedFileName(const QString &name, int number)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    if (dot <= 0)
        return name + suffix;
    return name.left(dot) + suffix + name.mid(dot);
}

bool createNewFile(QFile &file, const QString &folder, const QString &name)
{
    const QString created = placeUnderFreeName(folder, name, [&file](const QString &target) {
        file.setFileName(target);
        // NewOnly fails when the file exists (O_EXCL), so another writer cannot be raced.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return Placing::Done;
        return file.exists() ? Placing::Taken : Placing::Failed;
    });
    return !created.isEmpty();
}

QString linkWithoutOverwrite(const QString &source, const QString &folder, const QString &name)
{
#ifdef Q_OS_UNIX
    const QByteArray from = QFile::encodeName(source);
    return receivedFile(placeUnderFreeName(folder, name, [&from](const QString &target) {
        // link() fails with EEXIST instead of replacing a file.
        if (::link(from.constData(), QFile::encodeName(target).constData()) == 0)
            return Placing::Done;
        return errno == EEXIST ? Placing::Taken : Placing::Failed;
    }));
#else
    Q_UNUSED(source)
    Q_UNUSED(folder)
    Q_UNUSED(name)
    return QString();
#endif
}

QString renameWithoutOverwrite(const QString &from, const QString &folder, const QString &name)
{
    const QByteArray source = QFile::encodeName(from);
    return receivedFile(placeUnderFreeName(folder, name, [&source](const QString &target) {
        const QByteArray targetName = QFile::encodeName(target);
#ifdef Q_OS_LINUX
        // Fails with EEXIST rather than replace a file, also one that appears meanwhile (another
        // upload finishing under the same name). QFile::rename would copy over such a file.
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, targetName.constData(), RENAME_NOREPLACE) == 0)
            return Placing::Done;
        if (errno == EEXIST)
            return Placing::Taken;
        if (errno != EINVAL && errno != ENOSYS)
            return Placing::Failed;
#endif
        // A file system that cannot refuse to replace: look first.
        if (QFile::exists(target))
            return Placing::Taken;
        return ::rename(source.constData(), targetName.constData()) == 0 ? Placing::Done : Placing::Failed;
    }));
}

bool copyData(QIODevice &source, QIODevice &target)
{
#ifdef Q_OS_LINUX
    switch (copyInKernel(source, target)) {
    case KernelCopy::Done:
        return true;
    case KernelCopy::Failed:
        return false;
    case KernelCopy::Unsupported:
        break;
    }
#endif
    QByteArray block;
    while (!source.atEnd()) {
        block = source.read(copyBlockSize);
        if (block.isEmpty())
            return source.atEnd();
        if (target.write(block) != block.size())
            return false;
    }
    return true;
}

QString shownPlace(const QString &savedPath)
{
    const QString folder = QCoreApplication::translate("Upload", "下载目录");
    if (savedPath.isEmpty())
        return folder;
    return folder + QLatin1Char('/') + QFileInfo(savedPath).fileName();
}

QJsonObject answerObject(bool ok, const QString &msg)
{
    QJsonObject object;
    object.insert(QStringLiteral("ok"), ok);
    if (!msg.isNull())
        object.insert(QStringLiteral("msg"), msg);
    return object;
}

void answer(tarsel::HttpResponse &response, bool ok, const QString &msg)
{
    answer(response, answerObject(ok, msg));
}

void answer(tarsel::HttpResponse &response, const QJsonObject &object)
{
    response.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace upload
