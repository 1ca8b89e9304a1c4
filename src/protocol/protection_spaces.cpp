#include "protocol/protection_spaces.h"

#include <algorithm>

#include "base/ascii.h"

namespace {

// Scheme, host in lower case and port, a missing port being the scheme's.
std::string ServerOf(const CUrl& url) {
    const int port = url.GetPort() != 0 ? url.GetPort() : url.GetDefaultPort();
    return std::to_string(static_cast<int>(url.GetScheme())) + "://" + ToLowerAscii(url.GetHost()) +
           ":" + std::to_string(port);
}

std::string PathOf(const CUrl& url) {
    const std::string path = url.GetEscapedPath();
    return path.empty() ? "/" : path;
}

// The path up to its last "/": "/a/b.html" and "/a/" are both in "/a/".
std::string FolderOf(const CUrl& url) {
    const std::string path = PathOf(url);
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::optional<CProtectionSpaces::Match> CProtectionSpaces::Find(const CUrl& url) {
    const std::string server = ServerOf(url);
    const std::string path = PathOf(url);
    std::scoped_lock lock(m_lock);
    Realm* deepest = nullptr;
    std::size_t depth = 0;
    for (Realm& realm : m_realms) {
        if (realm.server != server) {
            continue;
        }
        for (const std::string& folder : realm.folders) {
            if (path.starts_with(folder) && (deepest == nullptr || folder.size() > depth)) {
                deepest = &realm;
                depth = folder.size();
            }
        }
    }
    if (deepest == nullptr) {
        return std::nullopt;
    }
    return Match{deepest->challenge, ++deepest->nonceCount};
}

std::uint32_t CProtectionSpaces::NextNonceCount(const CUrl& url, const std::string& nonce) {
    const std::string server = ServerOf(url);
    std::scoped_lock lock(m_lock);
    for (Realm& realm : m_realms) {
        if (realm.server == server && realm.challenge.nonce == nonce) {
            return ++realm.nonceCount;
        }
    }
    return 1;
}

void CProtectionSpaces::Accept(const CUrl& url, const CAuthChallenge& challenge,
                               std::uint32_t nonceCount) {
    const std::string server = ServerOf(url);
    const std::string folder = FolderOf(url);
    std::scoped_lock lock(m_lock);
    auto realm = std::find_if(m_realms.begin(), m_realms.end(), [&](const Realm& known) {
        return known.server == server && known.challenge.realm == challenge.realm;
    });
    if (realm == m_realms.end()) {
        m_realms.push_back({server, challenge, nonceCount, {folder}});
        return;
    }
    if (realm->challenge.nonce != challenge.nonce) {
        realm->nonceCount = 0;
    }
    realm->challenge = challenge;
    realm->nonceCount = std::max(realm->nonceCount, nonceCount);
    const bool covered =
        std::any_of(realm->folders.begin(), realm->folders.end(),
                    [&](const std::string& known) { return folder.starts_with(known); });
    if (!covered) {
        realm->folders.push_back(folder);
    }
}

void CProtectionSpaces::Clear() {
    std::scoped_lock lock(m_lock);
    m_realms.clear();
}
