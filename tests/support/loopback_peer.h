// A TCP server on a loopback port that plays one scripted connection on its
// own thread, for tests of the clients' exact bytes on the wire.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace testing_support {

class LoopbackPeer {
public:
    // backlog 0 with connections that are never accepted fills the queue,
    // so that a further connect stays pending.
    explicit LoopbackPeer(int backlog = 4) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, backlog) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("LoopbackPeer: cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackPeer() {
        // Shutting the sockets down wakes a script blocked in accept or recv.
        ::shutdown(m_listener, SHUT_RDWR);
        const int connection = m_connection.load();
        if (connection >= 0) {
            ::shutdown(connection, SHUT_RDWR);
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        ::close(m_listener);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int Port() const { return m_port; }

    // Accepts one connection and runs script on it; the connection is closed
    // when the script returns.
    void Serve(std::function<void(int connection)> script) {
        m_thread = std::thread([this, script = std::move(script)] {
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                return;
            }
            m_connection = connection;
            script(connection);
            m_connection = -1;
            ::close(connection);
        });
    }

    // Waits until the script has returned.
    void Join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    int m_listener = -1;
    int m_port = 0;
    std::atomic<int> m_connection{-1};
    std::thread m_thread;
};

inline bool SendAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t count = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (count <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// Reads until size bytes arrived or the connection ended.
inline std::string ReceiveBytes(int fd, std::size_t size) {
    std::string data(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = ::recv(fd, data.data() + done, size - done, 0);
        if (count <= 0) {
            break;
        }
        done += static_cast<std::size_t>(count);
    }
    data.resize(done);
    return data;
}

// Reads until the other side closes or shuts down its sending half.
inline std::string ReceiveToEnd(int fd) {
    std::string data;
    char chunk[4096];
    ssize_t count = 0;
    while ((count = ::recv(fd, chunk, sizeof chunk, 0)) > 0) {
        data.append(chunk, static_cast<std::size_t>(count));
    }
    return data;
}

}  // namespace testing_support
