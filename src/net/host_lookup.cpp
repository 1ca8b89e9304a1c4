#include "net/host_lookup.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "net/socket_address.h"

namespace {

// The longest the loop sleeps without looking at c-ares' own timers.
constexpr int kMaxSliceMs = 100;

bool InitAresLibrary() {
    static const bool initialised = ares_library_init(ARES_LIB_INIT_ALL) == ARES_SUCCESS;
    return initialised;
}

struct Answer {
    bool done = false;
    int status = ARES_ENOTFOUND;
    std::vector<std::string> addresses;
};

// The printed addresses of one family, in the order that c-ares gives, without repeats.
std::vector<std::string> AddressesOf(const ares_addrinfo* info, int family) {
    std::vector<std::string> addresses;
    for (const ares_addrinfo_node* node = info->nodes; node != nullptr; node = node->ai_next) {
        if (node->ai_family != family || node->ai_addr == nullptr) {
            continue;
        }
        const CSocketAddress address(*node->ai_addr);
        if (std::find(addresses.begin(), addresses.end(), address.GetHost()) == addresses.end()) {
            addresses.push_back(address.GetHost());
        }
    }
    return addresses;
}

// IPv6 first, then the families take turns, so that a broken path of one
// family costs one connection delay rather than one per address.
std::vector<std::string> InterleaveFamilies(const ares_addrinfo* info) {
    const std::vector<std::string> ipv6 = AddressesOf(info, AF_INET6);
    const std::vector<std::string> ipv4 = AddressesOf(info, AF_INET);
    std::vector<std::string> addresses;
    for (std::size_t i = 0; i < std::max(ipv6.size(), ipv4.size()); ++i) {
        if (i < ipv6.size()) {
            addresses.push_back(ipv6[i]);
        }
        if (i < ipv4.size()) {
            addresses.push_back(ipv4[i]);
        }
    }
    return addresses;
}

void OnAddressesFound(void* argument, int status, int /*timeouts*/, ares_addrinfo* info) {
    auto* answer = static_cast<Answer*>(argument);
    answer->done = true;
    answer->status = status;
    if (info == nullptr) {
        return;
    }
    if (status == ARES_SUCCESS) {
        answer->addresses = InterleaveFamilies(info);
        if (answer->addresses.empty()) {
            answer->status = ARES_ENODATA;
        }
    }
    ares_freeaddrinfo(info);
}

// Owns a c-ares channel; destroying it cancels whatever is still pending.
class CChannel {
public:
    CChannel() = default;
    ~CChannel() {
        if (m_channel != nullptr) {
            ares_destroy(m_channel);
        }
    }
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;

    bool Open(const std::string& servers) {
        ares_options options{};
        if (ares_init_options(&m_channel, &options, 0) != ARES_SUCCESS) {
            m_channel = nullptr;
            return false;
        }
        return servers.empty() ||
               ares_set_servers_ports_csv(m_channel, servers.c_str()) == ARES_SUCCESS;
    }

    ares_channel Get() const { return m_channel; }

private:
    ares_channel m_channel = nullptr;
};

int NextSliceMs(ares_channel channel) {
    timeval limit{0, kMaxSliceMs * 1000};
    timeval left{};
    const timeval* next = ares_timeout(channel, &limit, &left);
    return static_cast<int>(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);
}

// The stop fd first, then every socket c-ares is waiting on.
std::vector<pollfd> BuildWaitList(ares_channel channel, int stopFd) {
    std::vector<pollfd> list{{stopFd, POLLIN, 0}};
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(bits, i)) {
            events |= POLLIN;
        }
        if (ARES_GETSOCK_WRITABLE(bits, i)) {
            events |= POLLOUT;
        }
        if (events != 0) {
            list.push_back({sockets[i], events, 0});
        }
    }
    return list;
}

void ProcessReadySockets(ares_channel channel, const std::vector<pollfd>& list) {
    bool anyReady = false;
    for (auto entry = list.begin() + 1; entry != list.end(); ++entry) {
        if (entry->revents == 0) {
            continue;
        }
        anyReady = true;
        // An error or hang-up is handed over as readable, so that c-ares
        // reads the failure and moves on to its next server.
        const bool readable = (entry->revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        const bool writable = (entry->revents & POLLOUT) != 0;
        ares_process_fd(channel, readable ? entry->fd : ARES_SOCKET_BAD,
                        writable ? entry->fd : ARES_SOCKET_BAD);
    }
    if (!anyReady) {
        ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    }
}

// The name server's own word that the name has no address does not change
// when asked again; a server that failed or did not answer may do better.
ResultCode ResultOfFailedLookup(int status) {
    return status == ARES_ENOTFOUND || status == ARES_ENODATA ? ERR_HOST_NOT_FOUND : ERR_SOCKET_DNS;
}

}  // namespace

CHostLookup::CHostLookup(std::string servers) : m_servers(std::move(servers)) {}

ResultCode CHostLookup::Resolve(const std::string& name, int stopFd,
                                std::vector<std::string>& addresses) const {
    // The answer must outlive the channel: destroying the channel calls the
    // callback of a lookup still pending.
    Answer answer;
    CChannel channel;
    if (!InitAresLibrary() || !channel.Open(m_servers)) {
        return ERR_SOCKET_DNS;
    }
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    ares_getaddrinfo(channel.Get(), name.c_str(), nullptr, &hints, OnAddressesFound, &answer);
    while (!answer.done) {
        std::vector<pollfd> list = BuildWaitList(channel.Get(), stopFd);
        const int ready = ::poll(list.data(), list.size(), NextSliceMs(channel.Get()));
        if (ready < 0 && errno != EINTR) {
            return ERR_SOCKET_UNKNOWN;
        }
        if (ready > 0 && list.front().revents != 0) {
            return ERR_SOCKET_LOCAL_CLOSED;
        }
        if (ready >= 0) {
            ProcessReadySockets(channel.Get(), list);
        }
    }
    if (answer.status != ARES_SUCCESS) {
        return ResultOfFailedLookup(answer.status);
    }
    addresses = std::move(answer.addresses);
    return ERR_SUCCESS;
}
