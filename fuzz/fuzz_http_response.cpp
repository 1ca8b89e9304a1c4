// Arbitrary bytes as everything a server answers: Request and ReadBody must
// end with a result code, never crash, hang, overflow or allocate by what a
// length says, and never count more body bytes than arrived; a coded body
// decodes or fails, whatever its bytes. The first byte
// picks the request's options; the rest reaches the client through a socket
// pair whose other end is closed once the bytes are written.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/stream.h"
#include "net/event_socket.h"
#include "protocol/http_client.h"

namespace {

// A socket whose connection is one end of a socket pair: connecting, again
// after every redirect or authentication pass, only goes on with the same
// stream of bytes.
class CPairSocket : public CEventSocket {
public:
    explicit CPairSocket(int fd) : m_fd(fd) {}

    bool Connect(const CSocketAddress&) override { return true; }

protected:
    Transfer SendSome(const char* data, std::uint32_t length) override {
        const ssize_t count = ::send(m_fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        return count > 0 ? Transfer{static_cast<std::uint32_t>(count)}
                         : Transfer{0, 0, ERR_SOCKET_SEND};
    }
    Transfer ReceiveSome(char* buffer, std::uint32_t length) override {
        return Received(::recv(m_fd, buffer, length, MSG_DONTWAIT));
    }
    // Heads and lines are read by peeking first; without this the socket's
    // own, unconnected descriptor would be asked and every input would end
    // at the status line.
    Transfer PeekSome(char* buffer, std::uint32_t length) override {
        return Received(::recv(m_fd, buffer, length, MSG_DONTWAIT | MSG_PEEK));
    }

private:
    static Transfer Received(ssize_t count) {
        if (count > 0) {
            return {static_cast<std::uint32_t>(count)};
        }
        return {0, 0, count == 0 ? ERR_SOCKET_REMOTE_CLOSED : ERR_SOCKET_RECEIVE};
    }

    int m_fd;
};

class CPairClient : public CHttpClient {
public:
    explicit CPairClient(int fd) : m_fd(fd) {}

protected:
    std::unique_ptr<CEventSocket> CreateSocket() override {
        return std::make_unique<CPairSocket>(m_fd);
    }

private:
    int m_fd;
};

class CCountingStream : public CStream {
public:
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override {
        m_written += count;
        return count;
    }
    bool ReadByte(std::uint8_t&) override { return false; }
    bool WriteByte(std::uint8_t) override { return false; }
    bool Seek(std::int64_t, int) override { return false; }
    std::int64_t GetPosition() override { return 0; }
    void Flush() override {}
    std::int64_t GetLength() override { return 0; }
    void SetLength(std::int64_t) override {}

    std::size_t Written() const { return m_written; }

private:
    std::size_t m_written = 0;
};

CHttpRequestInfo MakeRequestInfo(std::uint8_t options) {
    CHttpRequestInfo info;
    info.url.Parse((options & 0x20) != 0 ? "https://site.test/dir/page.html?q=1"
                                         : "http://site.test/dir/page.html?q=1");
    info.SetUserAgent("fuzz");
    if ((options & 0x04) != 0) {
        info.user = "user";
        info.password = "secret";
    }
    if ((options & 0x08) != 0) {
        info.SetProxy(CSocketAddress("127.0.0.1", 3128), "proxy", "word");
    }
    if ((options & 0x10) != 0) {
        info.SetRange(100, 199, RANGE_FROM_TO);
    }
    return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole answer must fit in the pair's buffer before the client reads.
    if (size == 0 || size > 65536) {
        return 0;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return 0;
    }
    const std::uint8_t options = data[0];
    if (::send(pair[1], data + 1, size - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(size - 1)) {
        std::abort();
    }
    ::shutdown(pair[1], SHUT_WR);
    {
        CPairClient client(pair[0]);
        client.Attach(nullptr, nullptr);
        client.SetTimeouts(1000, 1000, 1000);
        client.SetRequestInfo(MakeRequestInfo(options));
        const HttpMethod method = (options & 0x01) != 0 ? METHOD_HEAD : METHOD_GET;
        if (client.Request(method, (options & 0x02) != 0) == ERR_SUCCESS) {
            CCountingStream stream;
            std::uint32_t received = 0;
            const ResultCode result =
                client.ReadBody((options & 0x40) != 0 ? nullptr : &stream, received);
            // A coded body is written decoded, so only a plain one writes
            // exactly what arrived.
            const bool coded = client.GetResponseInfo().contentCoded;
            if (received > size || (result == ERR_SUCCESS && (options & 0x40) == 0 && !coded &&
                                    stream.Written() != received)) {
                std::abort();
            }
        }
        client.Finish();
    }
    ::close(pair[0]);
    ::close(pair[1]);
    return 0;
}
