#include "openfiles.h"

#include <QDir>

namespace testsupport {

QFileInfoList openFilesBelow(const QString &folder)
{
    const QString prefix = QDir(folder).canonicalPath() + QLatin1Char('/');
    const QFileInfoList descriptors = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files);
    QFileInfoList below;
    for (const QFileInfo &descriptor : descriptors) {
        if (descriptor.symLinkTarget().startsWith(prefix))
            below.append(descriptor);
    }
    return below;
}

} // namespace testsupport
