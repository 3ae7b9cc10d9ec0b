#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>

// The partial files of web uploads: hidden files in the download folder that become the uploaded
// files once complete. Each one is recorded from its creation until it is finished or removed,
// with its inode and the process that made it, in a registry of the application's own
// ("web-partial-files.json" in its local data folder, never in the download folder), so that the
// clean-up at start removes only files that an earlier run made and never finished, and no file
// of the user's that merely looks like one. Safe from any thread.
class PartialFileRegistry
{
public:
    // The registry: a JSON object from each partial file's path (its folder's canonical path and
    // its name) to {"inode": number, "pid": process id}.
    static QString registryPath();

    // Creates folder/name, or the first free "name (n)", never opening an existing file, opens it
    // write-only and records it. Returns false when no file could be created.
    static bool create(QFile &file, const QString &folder, const QString &name);
    // Renames the recorded partial file at path to name in its folder, or the first free
    // "name (n)", never replacing a file. Returns the new path, or an empty text on failure.
    static QString rename(const QString &path, const QString &name);
    // Moves the recorded partial file at path to folder/name, or the first free "name (n).ext",
    // as a finished file, which is no longer recorded. Returns the path written, or an empty text
    // on failure (the partial file then stays recorded).
    static QString finish(const QString &path, const QString &folder, const QString &name);
    // Removes the recorded partial file at path and its record.
    static void remove(const QString &path);

    // Removes the partial files recorded in folder that no upload in progress holds: those of a
    // process that has ended without finishing them (a crash, a power cut). A file
    // whose inode is not the recorded one, or that is no longer a regular file, is the user's and
    // stays; its record goes. Returns how many files were removed. Called when the server starts.
    static int removeLeftovers(const QString &folder);
};

// One partial file, made and recorded by create(): it goes with its record when this object
// goes, whatever way the work on it ends, unless it was finished.
class PartialFile
{
    Q_DISABLE_COPY(PartialFile)

public:
    PartialFile() = default;
    ~PartialFile();

    // PartialFileRegistry::create() into file().
    bool create(const QString &folder, const QString &name);
    QFile &file() { return m_file; }
    // Closes the file and makes it folder/name (PartialFileRegistry::finish()); it then stays.
    // Returns the path written, or an empty text on failure.
    QString finish(const QString &folder, const QString &name);
    // Closes and removes the file now, unless it was finished.
    void discard();

private:
    QFile m_file;
    bool m_recorded = false;
};

// A write-only device over a partial file of its own: where the file of a one-request upload
// goes while it arrives, so that it lies in the download folder from the start and, complete,
// only gets its name (no copy from a temporary folder on another file system).
class PartialFileDevice : public QIODevice
{
    Q_OBJECT

public:
    using QIODevice::QIODevice;

    // PartialFile::create(); the device is open for writing when it returns true.
    bool create(const QString &folder, const QString &name);
    // Every byte written reached the file, which becomes folder/name (PartialFile::finish()).
    // Returns the path written, or an empty text on failure (the partial file then goes with the
    // device).
    QString finish(const QString &folder, const QString &name);
    // The upload is not kept: the partial file goes now rather than with the device.
    void discard();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    PartialFile m_partial;
    bool m_failed = false;
};
