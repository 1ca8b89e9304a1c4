// A file that replaces another only once it has been written in full: it is
// written under a temporary name in the target's folder and renamed over the
// target by Commit, so that a crash, a full disk or a failed write leaves
// either the old file or the new one, never a truncated mix.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "base/file_descriptor.h"
#include "base/file_stream.h"

class CReplacementFile {
public:
    // Creates the temporary file beside targetPath and opens the stream on it
    // for writing. The file gets the target's permission bits when the target
    // exists, else newFileMode. Throws ERR_FILE_STREAM_OPEN when the
    // temporary file cannot be created.
    explicit CReplacementFile(std::string targetPath, unsigned newFileMode = 0666);
    // The target is targetName in folder, an open folder that the file takes
    // over: neither the temporary file nor the rename then follows a link on
    // the way to that folder.
    CReplacementFile(CFileDescriptor folder, std::string targetName, unsigned newFileMode = 0666);
    // Removes the temporary file unless Commit succeeded.
    ~CReplacementFile();

    CReplacementFile(const CReplacementFile&) = delete;
    CReplacementFile& operator=(const CReplacementFile&) = delete;

    CStream& GetStream() { return m_stream; }

    // The modification time that the file carries once committed, set on
    // the written file before the rename so that no other name needs it.
    void KeepModificationTime(const timespec& time) { m_modificationTime = time; }

    // Flushes the stream, optionally syncs the data to the disk, and renames
    // the file over the target. Throws ERR_FILE_STREAM_WRITE when any step
    // fails; the target is then untouched and the temporary file removed.
    void Commit(bool syncToDisk);

    // The temporary file's path; only its name when the folder was given open.
    std::string GetTemporaryPath() const;

    // Deletes the temporary files that replacements of targetPath left
    // behind when their process died: files of the target's own temporary
    // name that no writer holds and that have not changed for a minute. A
    // replacement under way in any process keeps its file.
    static void RemoveAbandoned(const std::string& targetPath);

private:
    void Create(unsigned newFileMode);
    void Discard();

    CFileDescriptor m_folder;
    // Empty when the folder was given open.
    std::string m_folderPath;
    std::string m_targetName;
    std::string m_temporaryName;
    CFileDescriptor m_file;
    // A second descriptor of the temporary file that holds its lock until
    // the rename is done, after m_file has been closed to learn of late
    // write errors.
    CFileDescriptor m_lock;
    CFileStream m_stream;
    std::optional<timespec> m_modificationTime;
};
