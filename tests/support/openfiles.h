#pragma once

#include <QFileInfoList>
#include <QString>

namespace testsupport {

// The descriptors (/proc/self/fd entries) of the files this process holds open below folder,
// named or already unlinked.
QFileInfoList openFilesBelow(const QString &folder);

} // namespace testsupport
