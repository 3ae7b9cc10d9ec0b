#include "uploadsupport.h"

#include "httpserver/httpresponse.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QUrl>

#include <cerrno>
#ifdef Q_OS_UNIX
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

} // namespace

QString confinedFileName(const QString &name)
{
    const int cut = qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    const QString last = name.mid(cut + 1);
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..") || last.contains(QChar(0)))
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
    QDir().mkpath(folder);
    for (int attempt = 0; attempt < maxNumberedNames; ++attempt) {
        file.setFileName(folder + QLatin1Char('/') + candidateName(name, attempt));
        // NewOnly fails when the file exists (O_EXCL), so another writer cannot be raced.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!file.exists())
            return false;
    }
    return false;
}

QString linkWithoutOverwrite(const QString &source, const QString &folder, const QString &name)
{
#ifdef Q_OS_UNIX
    QDir().mkpath(folder);
    const QByteArray from = QFile::encodeName(source);
    for (int attempt = 0; attempt < maxNumberedNames; ++attempt) {
        const QString target = folder + QLatin1Char('/') + candidateName(name, attempt);
        // link() fails with EEXIST instead of replacing a file.
        if (::link(from.constData(), QFile::encodeName(target).constData()) == 0) {
            QFile::setPermissions(target,
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
            return target;
        }
        if (errno != EEXIST)
            return QString();
    }
#else
    Q_UNUSED(source)
    Q_UNUSED(folder)
    Q_UNUSED(name)
#endif
    return QString();
}

QString renameWithoutOverwrite(const QString &from, const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    for (int attempt = 0; attempt < maxNumberedNames; ++attempt) {
        const QString target = folder + QLatin1Char('/') + candidateName(name, attempt);
        if (QFile::exists(target))
            continue;
        // QFile::rename refuses an existing target, also when it appears in the meantime.
        if (QFile::rename(from, target))
            return target;
        if (!QFile::exists(target))
            return QString();
    }
    return QString();
}

bool copyData(QIODevice &source, QIODevice &target)
{
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

void openFolder(const QString &folder)
{
    const QUrl url = QUrl::fromLocalFile(folder);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
}

void answer(tarsel::HttpResponse &response, bool ok, const QString &msg)
{
    QJsonObject object;
    object.insert(QStringLiteral("ok"), ok);
    if (!msg.isNull())
        object.insert(QStringLiteral("msg"), msg);
    response.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace upload
