#pragma once

#include <QString>

class QFile;
class QJsonObject;
class QIODevice;

namespace tarsel {
class HttpResponse;
}

// What the upload controllers and the share have in common: file names from browsers kept
// inside the download folder, names that never replace an existing file, and the JSON answers.
namespace upload {

// Names in the download folder that begin with this (in any case, for file systems that ignore
// it) are Orvex's own: the records and partial files of device transfers. No upload takes one.
constexpr char ownNamePrefix[] = ".orvex-";

// The last path component of a name a browser sent ("/" and "\" both separate). Empty when
// nothing usable is left: an empty name, ".", "..", a name with a NUL character, or one of
// Orvex's own names.
QString confinedFileName(const QString &name);

// "name (n).ext" for "name.ext"; the number goes before the last extension, and a leading dot
// does not start an extension (".bashrc (2)").
QString numberedFileName(const QString &name, int number);

// Creates and opens (write-only) a new file in folder called name, or "name (1).ext",
// "name (2).ext"... when that exists; never opens an existing file. Creates the folder when
// it is missing. Returns false when no file could be created.
bool createNewFile(QFile &file, const QString &folder, const QString &name);

// Gives the complete file source a second name in folder: name, or the first free
// "name (n).ext"; an existing file is never replaced. No data is copied, so it works only on
// the file system of source. Returns the path written, or an empty text when no link was made.
QString linkWithoutOverwrite(const QString &source, const QString &folder, const QString &name);

// Renames from to folder/name, or the first free "name (n).ext"; an existing file is never
// replaced. Returns the path really written, or an empty text on failure.
QString renameWithoutOverwrite(const QString &from, const QString &folder, const QString &name);

// Writes everything from source (from its current position) to target at its position; both
// positions move past the bytes. File to file the kernel copies (copy_file_range) where it
// can, otherwise the bytes go through user space in large blocks. Returns false on a read or
// write error; target may then hold part of the bytes.
bool copyData(QIODevice &source, QIODevice &target);

// How an answer names where an upload was saved: the download folder's label, followed by the
// file's name inside it when savedPath is given; never a local path, which is none of the
// network's business.
QString shownPlace(const QString &savedPath = QString());

// The JSON answer {"msg":msg,"ok":ok} (no "msg" when msg is null).
QJsonObject answerObject(bool ok, const QString &msg = QString());
// Writes it, compact.
void answer(tarsel::HttpResponse &response, bool ok, const QString &msg = QString());
// Writes object as the compact JSON answer.
void answer(tarsel::HttpResponse &response, const QJsonObject &object);

} // namespace upload
