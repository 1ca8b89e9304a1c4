#include "base/file_stream.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <utility>

#include "base/errors.h"

namespace {

// The truncation of the create modes waits until the file is locked, so
// that an open that is refused leaves the holder's bytes alone.
int OpenFlags(int mode) {
    switch (mode) {
        case CFileStream::modeRead:
            return O_RDONLY;
        case CFileStream::modeReadWrite:
            return O_RDWR;
        case CFileStream::modeWriteCreate:
            return O_WRONLY | O_CREAT;
        case CFileStream::modeReadWriteCreate:
            return O_RDWR | O_CREAT;
        default:
            return -1;
    }
}

// An unshared open holds the file's lock until the descriptor is closed; a
// second unshared open of the same file, from any thread or process, fails.
bool Claim(int fd, int mode, bool share) {
    if (!share && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    return (mode & CFileStream::modeCreate) == 0 || ::ftruncate(fd, 0) == 0;
}

}  // namespace

CFileStream::~CFileStream() {
    try {
        Close();
    } catch (const CStreamException&) {
        // A destructor cannot report a failed final flush.
    }
}

const char* CFileStream::ModeText(int mode) {
    switch (mode) {
        case modeRead:
            return "rb";
        case modeReadWrite:
            return "r+b";
        case modeWriteCreate:
            return "wb";
        case modeReadWriteCreate:
            return "w+b";
        default:
            return nullptr;
    }
}

bool CFileStream::Open(const std::string& path, int mode, bool share, std::size_t bufferSize) {
    Close();
    const int flags = OpenFlags(mode);
    if (flags < 0) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    // A link planted where a written file belongs would carry the bytes to
    // whatever it names.
    const int noFollow = (mode & modeWrite) != 0 ? O_NOFOLLOW : 0;
    CFileDescriptor file(::open(path.c_str(), flags | noFollow | O_CLOEXEC, 0666));
    return Open(std::move(file), mode, share, bufferSize);
}

bool CFileStream::Open(CFileDescriptor file, int mode, bool share, std::size_t bufferSize) {
    Close();
    const char* text = ModeText(mode);
    if (!file.IsValid() || text == nullptr) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    std::FILE* stream = Claim(file.Get(), mode, share) ? ::fdopen(file.Get(), text) : nullptr;
    if (stream == nullptr) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    file.Release();
    m_file = stream;
    m_mode = mode;
    m_ownsFile = true;
    m_buffer.reset(new (std::nothrow) char[bufferSize]);
    if (!m_buffer || std::setvbuf(m_file, m_buffer.get(), _IOFBF, bufferSize) != 0) {
        Close();
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    m_bufferSize = bufferSize;
    return true;
}

bool CFileStream::Attach(int fd, int mode) {
    Close();
    const char* text = ModeText(mode);
    const int copy = text ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    std::FILE* file = copy >= 0 ? ::fdopen(copy, text) : nullptr;
    if (file == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    m_file = file;
    m_mode = mode;
    // The duplicate shares the owner's file and position; closing it later
    // leaves the owner's descriptor open.
    m_ownsFile = false;
    return true;
}

void CFileStream::Close() {
    if (m_file == nullptr) {
        return;
    }
    std::FILE* file = m_file;
    const bool flushed = std::fflush(file) == 0;
    std::fclose(file);
    m_file = nullptr;
    m_buffer.reset();
    m_bufferSize = 0;
    m_mode = 0;
    m_ownsFile = true;
    if (!flushed) {
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
}

bool CFileStream::SetModificationTime(const timespec& time) {
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    return m_file != nullptr && std::fflush(m_file) == 0 &&
           ::futimens(::fileno(m_file), times) == 0;
}

std::size_t CFileStream::Read(void* buffer, std::size_t count) {
    const std::size_t read = std::fread(buffer, 1, count, m_file);
    if (read < count && !std::feof(m_file)) {
        std::clearerr(m_file);
        ThrowStreamException(ERR_FILE_STREAM_READ);
    }
    return read;
}

std::size_t CFileStream::Write(const void* buffer, std::size_t count) {
    const std::size_t written = std::fwrite(buffer, 1, count, m_file);
    if (written < count) {
        std::clearerr(m_file);
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
    return written;
}

bool CFileStream::ReadByte(std::uint8_t& byte) {
    const int c = std::fgetc(m_file);
    if (c == EOF) {
        if (std::ferror(m_file)) {
            std::clearerr(m_file);
            ThrowStreamException(ERR_FILE_STREAM_READ);
        }
        return false;
    }
    byte = static_cast<std::uint8_t>(c);
    return true;
}

bool CFileStream::WriteByte(std::uint8_t byte) {
    if (std::fputc(byte, m_file) == EOF) {
        std::clearerr(m_file);
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
    return true;
}

bool CFileStream::Seek(std::int64_t offset, int origin) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2 || ::fseeko(m_file, offset, kWhence[origin]) != 0) {
        ThrowStreamException(ERR_FILE_STREAM_SEEK);
    }
    return true;
}

std::int64_t CFileStream::GetPosition() {
    const off_t position = ::ftello(m_file);
    if (position < 0) {
        ThrowStreamException(ERR_FILE_STREAM_SEEK);
    }
    return position;
}

void CFileStream::Flush() {
    if (std::fflush(m_file) != 0) {
        std::clearerr(m_file);
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
}

std::int64_t CFileStream::GetLength() {
    // Bytes still waiting in the buffer are part of the length; seeking to
    // the end and back would cost the C library two or three calls more.
    if (::__fpending(m_file) > 0) {
        Flush();
    }
    struct stat status {};
    if (::fstat(::fileno(m_file), &status) != 0) {
        ThrowStreamException(ERR_FILE_STREAM_SEEK);
    }
    return status.st_size;
}

void CFileStream::SetLength(std::int64_t length) {
    // A seek refills the buffer from the block it lands in, even when the
    // position does not move.
    if (GetPosition() != length) {
        Seek(length, kBegin);
    }
    Flush();
    if (::ftruncate(::fileno(m_file), length) != 0) {
        ThrowStreamException(ERR_FILE_STREAM_RESIZE);
    }
}
