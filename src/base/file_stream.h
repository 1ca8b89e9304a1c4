// A stream over a buffered file of the C library.
#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "base/file_descriptor.h"
#include "base/stream.h"

class CFileStream : public CStream {
public:
    enum OpenMode : int {
        modeRead = 1,
        modeWrite = 2,
        modeCreate = 4,
        modeReadWrite = modeRead | modeWrite,      // existing file, contents kept
        modeWriteCreate = modeWrite | modeCreate,  // truncated or created
        modeReadWriteCreate = modeRead | modeWrite | modeCreate,
    };
    static constexpr std::size_t kDefaultBufferSize = 8192;

    CFileStream() = default;
    ~CFileStream() override;
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // Opens path in one of the modes 1, 3, 6 or 7 with a fully buffered file
    // whose buffer this stream owns; true, or ERR_FILE_STREAM_OPEN thrown.
    // Without share the file is locked exclusively while it is open, and the
    // open fails while another unshared stream holds it, so two writers never
    // mix their bytes in one file; a create mode truncates only once locked.
    // A mode that writes never follows a symbolic link at path's last name.
    bool Open(const std::string& path, int mode, bool share = false,
              std::size_t bufferSize = kDefaultBufferSize);
    // The same over a file that the caller opened with the mode's access;
    // the stream takes the descriptor over, and closes it on failure too.
    bool Open(CFileDescriptor file, int mode, bool share = false,
              std::size_t bufferSize = kDefaultBufferSize);

    // Works on a descriptor that someone else owns: Close flushes but leaves
    // that descriptor open (the stream works on a duplicate of it).
    bool Attach(int fd, int mode);

    void Close();
    // Writes out what the buffer holds and dates the file; false when either
    // fails, leaving a failed write for Close to report. Nothing written
    // afterwards may follow, or it would date the file anew.
    bool SetModificationTime(const timespec& time);
    bool IsOpen() const { return m_file != nullptr; }
    int GetMode() const { return m_mode; }

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    bool ReadByte(std::uint8_t& byte) override;
    bool WriteByte(std::uint8_t byte) override;
    bool Seek(std::int64_t offset, int origin) override;
    std::int64_t GetPosition() override;
    void Flush() override;
    std::int64_t GetLength() override;
    void SetLength(std::int64_t length) override;

private:
    static const char* ModeText(int mode);

    int m_mode = 0;
    std::FILE* m_file = nullptr;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferSize = 0;
    bool m_ownsFile = true;
};
