#pragma once

#include <QString>

enum class FolderDepth {
    // Only the last part of the path is made; missing parents are left for later.
    OneLevel,
    // Every missing folder on the way is made.
    WithParents,
};

// Makes the download folder if it is missing. Returns an empty text when the folder exists
// afterwards, or when only missing parent folders kept a one-level creation from making it (they
// are made with the whole path when the folder is first needed). Otherwise returns, for the user,
// why the folder cannot be made.
QString createDownloadFolder(const QString &path, FolderDepth depth);

// Why no file can be made in the folder (the system's reason), found by making and removing
// one; empty when one can.
QString unwritableFolder(const QString &path);
