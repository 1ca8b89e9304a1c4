// A loopback UDP name server whose answers the test decides: A and AAAA
// records (an address with a colon is an IPv6 one) for the names it knows, "no such name" for the
// rest, and silence for names that must never be answered. Point c-ares at Servers().
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class DnsPeer {
public:
    DnsPeer() {
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_stop = ::eventfd(0, EFD_CLOEXEC);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || m_stop < 0 ||
            ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("DnsPeer: cannot open a loopback UDP socket");
        }
        m_port = ntohs(address.sin_port);
    }
    ~DnsPeer() {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] auto written = ::write(m_stop, &one, sizeof one);
            m_thread.join();
        }
        ::close(m_socket);
        ::close(m_stop);
    }
    DnsPeer(const DnsPeer&) = delete;
    DnsPeer& operator=(const DnsPeer&) = delete;

    // Answers set before Start.
    void AddHost(const std::string& name, std::vector<std::string> addresses) {
        m_hosts[Lower(name)] = std::move(addresses);
    }
    void AddSilentHost(const std::string& name) { m_silent.insert(Lower(name)); }
    // Answered with "server failure", as a broken name server answers.
    void AddFailingHost(const std::string& name) { m_failing.insert(Lower(name)); }

    void Start() {
        m_thread = std::thread([this] { Serve(); });
    }

    std::string Servers() const { return "127.0.0.1:" + std::to_string(m_port); }
    int QueryCount() const { return m_queries.load(); }
    std::vector<std::string> QueriedNames() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_names;
    }

private:
    static std::string Lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

    void Serve() {
        pollfd list[] = {{m_stop, POLLIN, 0}, {m_socket, POLLIN, 0}};
        while (::poll(list, 2, -1) >= 0 && list[0].revents == 0) {
            if (list[1].revents != 0) {
                AnswerOne();
            }
        }
    }

    void AnswerOne() {
        unsigned char query[512];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = ::recvfrom(m_socket, query, sizeof query, 0,
                                          reinterpret_cast<sockaddr*>(&from), &fromLength);
        std::string name;
        std::size_t questionEnd = 0;
        if (length < 12 ||
            !ReadQuestion(query, static_cast<std::size_t>(length), name, questionEnd)) {
            return;
        }
        ++m_queries;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_names.push_back(name);
        }
        if (m_silent.count(name) != 0) {
            return;
        }
        const std::vector<unsigned char> reply = BuildReply(query, questionEnd, name);
        ::sendto(m_socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                 fromLength);
    }

    // Reads the first question's name and finds the end of its type and class.
    static bool ReadQuestion(const unsigned char* query, std::size_t length, std::string& name,
                             std::size_t& questionEnd) {
        std::size_t at = 12;
        while (at < length && query[at] != 0) {
            const std::size_t label = query[at];
            if (label > 63 || at + 1 + label > length) {
                return false;
            }
            if (!name.empty()) {
                name += '.';
            }
            name.append(reinterpret_cast<const char*>(query + at + 1), label);
            at += 1 + label;
        }
        questionEnd = at + 5;
        name = Lower(name);
        return questionEnd <= length;
    }

    std::vector<unsigned char> BuildReply(const unsigned char* query, std::size_t questionEnd,
                                          const std::string& name) const {
        std::vector<unsigned char> reply(query, query + questionEnd);
        const auto host = m_hosts.find(name);
        const std::uint16_t type =
            static_cast<std::uint16_t>(query[questionEnd - 4] << 8 | query[questionEnd - 3]);
        constexpr std::uint16_t kTypeA = 1;
        constexpr std::uint16_t kTypeAaaa = 28;
        std::vector<std::string> addresses;
        if (host != m_hosts.end() && (type == kTypeA || type == kTypeAaaa)) {
            std::copy_if(host->second.begin(), host->second.end(), std::back_inserter(addresses),
                         [&](const std::string& text) {
                             return (text.find(':') != std::string::npos) == (type == kTypeAaaa);
                         });
        }
        const bool known = host != m_hosts.end();
        reply[2] = 0x81;  // answer, recursion desired
        // Recursion available; 3 is "no such name", 2 "server failure".
        const unsigned char rcode = m_failing.count(name) != 0 ? 2 : known ? 0 : 3;
        reply[3] = static_cast<unsigned char>(0x80 | rcode);
        reply[6] = 0;
        reply[7] = static_cast<unsigned char>(addresses.size());
        reply[8] = reply[9] = reply[10] = reply[11] = 0;
        for (const std::string& text : addresses) {
            unsigned char bytes[16] = {};
            const bool ipv6 = type == kTypeAaaa;
            ::inet_pton(ipv6 ? AF_INET6 : AF_INET, text.c_str(), bytes);
            const unsigned char size = ipv6 ? 16 : 4;
            // Name pointer, type, class IN, TTL 60, length, address.
            const unsigned char head[] = {
                0xC0, 0x0C, 0, static_cast<unsigned char>(type), 0, 1, 0, 0, 0, 60, 0, size};
            reply.insert(reply.end(), std::begin(head), std::end(head));
            reply.insert(reply.end(), bytes, bytes + size);
        }
        return reply;
    }

    int m_socket = -1;
    int m_stop = -1;
    int m_port = 0;
    std::map<std::string, std::vector<std::string>> m_hosts;
    std::set<std::string> m_silent;
    std::set<std::string> m_failing;
    std::thread m_thread;
    std::atomic<int> m_queries{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_names;
};

}  // namespace testing_support
