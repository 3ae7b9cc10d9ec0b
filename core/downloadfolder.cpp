#include "downloadfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString cannotCreate(const QString &path, const QString &reason)
{
    return QCoreApplication::translate("DownloadFolder", "无法创建下载目录 %1：%2。").arg(path, reason);
}

} // namespace

QString createDownloadFolder(const QString &path, FolderDepth depth)
{
    const QFileInfo target(path);
    if (target.isDir())
        return QString();
    // A file, or a link to nothing, already holds the name.
    if (target.exists() || target.isSymLink())
        return cannotCreate(path, QCoreApplication::translate("DownloadFolder", "已有同名的文件"));
    const bool made = depth == FolderDepth::OneLevel ? QDir().mkdir(path) : QDir().mkpath(path);
    if (made)
        return QString();

    // QDir gives no reason: look at the nearest part of the path that exists.
    QString existing = target.absolutePath();
    bool parentMissing = false;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QString up = QFileInfo(existing).absolutePath();
        if (up == existing)
            break;
        existing = up;
        parentMissing = true;
    }
    const QFileInfo blocker(existing);
    if (!blocker.isDir())
        return cannotCreate(path, QCoreApplication::translate("DownloadFolder", "%1 不是文件夹").arg(existing));
    if (!blocker.isWritable() || !blocker.isExecutable())
        return cannotCreate(
            path, QCoreApplication::translate("DownloadFolder", "没有在 %1 中创建文件夹的权限").arg(existing));
    if (parentMissing && depth == FolderDepth::OneLevel)
        return QString();
    return cannotCreate(path, QCoreApplication::translate("DownloadFolder", "请检查路径和磁盘空间"));
}

QString unwritableFolder(const QString &path)
{
    // A real attempt: permission bits say nothing of a read-only mount or of root.
    const QByteArray probe = QFile::encodeName(
        QDir(path).filePath(QStringLiteral(".orvex-write-check-%1").arg(QCoreApplication::applicationPid())));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        return QCoreApplication::translate("DownloadFolder", "无法写入下载目录 %1：%2").arg(path, reason);
    }
    ::close(fd);
    ::unlink(probe.constData());
    return QString();
}
