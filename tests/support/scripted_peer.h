// A loopback TCP server that plays a script over consecutive connections:
// it expects exact bytes from the client and answers with canned bytes, the
// way curl's test servers do. Every wait has a time limit, so a client that
// sends too little or nothing fails the script instead of hanging the test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class ScriptedPeer {
public:
    static constexpr int kStepTimeoutMs = 5000;

    // Port 0 takes a free port; any 127.x.y.z address is a loopback address.
    explicit ScriptedPeer(const std::string& host = "127.0.0.1", int port = 0) : m_host(host) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t length = sizeof address;
        const int reuse = 1;
        if (m_listener < 0 || ::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
            ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 8) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("ScriptedPeer: cannot listen on " + host);
        }
        m_port = ntohs(address.sin_port);
    }
    ~ScriptedPeer() {
        Finish();
        ::close(m_listener);
    }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& Host() const { return m_host; }
    int Port() const { return m_port; }
    // "host:port", as a URL names the peer.
    std::string Authority() const { return m_host + ":" + std::to_string(m_port); }

    // Steps, played in order once Start is called.
    // Takes the next connection; the current one, if any, is closed first.
    ScriptedPeer& Accept() { return Add(kAccept, {}); }
    // The exact next bytes from the client.
    ScriptedPeer& Expect(std::string bytes) { return Add(kExpect, std::move(bytes)); }
    // A request head (up to its blank line) whose exact bytes depend on what
    // the client chose, such as a random nonce: expected makes them from the
    // head that arrived.
    using HeadExpectation = std::function<std::string(const std::string& head)>;
    ScriptedPeer& ExpectHead(HeadExpectation expected) {
        m_steps.push_back({kExpectHead, {}, 0, std::move(expected)});
        return *this;
    }
    ScriptedPeer& Reply(std::string bytes) { return Add(kReply, std::move(bytes)); }
    // The bytes one at a time, intervalMs apart, as a stalling server sends
    // them; the client may hang up meanwhile, which ends the step.
    ScriptedPeer& Trickle(std::string bytes, int intervalMs) {
        m_steps.push_back({kTrickle, std::move(bytes), intervalMs});
        return *this;
    }
    // Closes the current connection.
    ScriptedPeer& Close() { return Add(kClose, {}); }
    // The client closes the connection without sending anything more.
    ScriptedPeer& ExpectClose() { return Add(kExpectClose, {}); }

    void Start() {
        m_thread = std::thread([this] { Run(); });
    }

    // Waits for the script to end. Empty when every step went as written,
    // else a description of the first step that did not.
    std::string Finish() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_failure;
    }

    int Connections() const { return m_connections; }

    // Bytes as a test message shows them, line ends and controls escaped.
    static std::string Show(const std::string& bytes) {
        std::string shown;
        for (unsigned char c : bytes) {
            if (c == '\r') {
                shown += "\\r";
            } else if (c == '\n') {
                shown += "\\n";
            } else if (c == '\t') {
                shown += "\\t";
            } else if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                shown += hex;
            } else {
                shown += static_cast<char>(c);
            }
        }
        return shown;
    }

private:
    enum Kind { kAccept, kExpect, kExpectHead, kReply, kTrickle, kClose, kExpectClose };
    struct Step {
        Kind kind;
        std::string bytes;
        int intervalMs = 0;
        HeadExpectation head = {};
    };

    ScriptedPeer& Add(Kind kind, std::string bytes) {
        m_steps.push_back({kind, std::move(bytes), 0});
        return *this;
    }

    void Run() {
        for (std::size_t i = 0; i < m_steps.size(); ++i) {
            m_stepNumber = i + 1;
            if (!Play(m_steps[i])) {
                break;
            }
        }
        CloseConnection();
    }

    bool Play(const Step& step) {
        switch (step.kind) {
            case kAccept:
                return AcceptNext();
            case kExpect:
                return ExpectBytes(step.bytes);
            case kExpectHead:
                return ExpectHeadBytes(step.head);
            case kReply:
                return ReplyBytes(step.bytes);
            case kTrickle:
                TrickleBytes(step.bytes, step.intervalMs);
                return true;
            case kClose:
                CloseConnection();
                return true;
            case kExpectClose:
                return ExpectEnd();
        }
        return false;
    }

    bool Fail(const std::string& what) {
        m_failure = "step " + std::to_string(m_stepNumber) + ": " + what;
        return false;
    }

    bool WaitReadable(int fd) const {
        pollfd state{fd, POLLIN, 0};
        return ::poll(&state, 1, kStepTimeoutMs) == 1;
    }

    bool AcceptNext() {
        CloseConnection();
        if (!WaitReadable(m_listener)) {
            return Fail("no connection came");
        }
        m_connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_connection < 0) {
            return Fail("accept failed");
        }
        ++m_connections;
        return true;
    }

    bool ExpectBytes(const std::string& expected) {
        std::string got;
        char chunk[4096];
        while (got.size() < expected.size()) {
            if (m_connection < 0 || !WaitReadable(m_connection)) {
                return Fail("timed out expecting \"" + Show(expected) + "\", got \"" + Show(got) +
                            "\"");
            }
            const ssize_t count = ::recv(m_connection, chunk,
                                         std::min(sizeof chunk, expected.size() - got.size()), 0);
            if (count <= 0) {
                return Fail("connection ended expecting \"" + Show(expected) + "\", got \"" +
                            Show(got) + "\"");
            }
            got.append(chunk, static_cast<std::size_t>(count));
            if (expected.compare(0, got.size(), got) != 0) {
                return Fail("expected \"" + Show(expected) + "\", got \"" + Show(got) + "\"");
            }
        }
        return true;
    }

    bool ExpectHeadBytes(const HeadExpectation& expected) {
        std::string got;
        while (!got.ends_with("\r\n\r\n")) {
            char byte = 0;
            if (m_connection < 0 || !WaitReadable(m_connection) ||
                ::recv(m_connection, &byte, 1, 0) != 1) {
                return Fail("no whole request head, got \"" + Show(got) + "\"");
            }
            got += byte;
        }
        const std::string wanted = expected(got);
        if (got != wanted) {
            return Fail("expected \"" + Show(wanted) + "\", got \"" + Show(got) + "\"");
        }
        return true;
    }

    bool ReplyBytes(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count =
                ::send(m_connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (count <= 0) {
                return Fail("the client stopped taking the reply");
            }
            done += static_cast<std::size_t>(count);
        }
        return true;
    }

    void TrickleBytes(const std::string& bytes, int intervalMs) {
        for (const char byte : bytes) {
            if (::send(m_connection, &byte, 1, MSG_NOSIGNAL) != 1) {
                CloseConnection();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        }
    }

    bool ExpectEnd() {
        char byte = 0;
        if (m_connection < 0 || !WaitReadable(m_connection)) {
            return Fail("the client kept the connection open");
        }
        const ssize_t count = ::recv(m_connection, &byte, 1, 0);
        if (count > 0) {
            return Fail("expected the connection to close, got more bytes");
        }
        return true;
    }

    void CloseConnection() {
        if (m_connection >= 0) {
            ::close(m_connection);
            m_connection = -1;
        }
    }

    std::string m_host;
    int m_listener = -1;
    int m_port = 0;
    int m_connection = -1;
    int m_connections = 0;
    std::vector<Step> m_steps;
    std::size_t m_stepNumber = 0;
    std::string m_failure;
    std::thread m_thread;
};

}  // namespace testing_support
