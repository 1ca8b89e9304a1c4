#include "engine/path_owners.h"

#include <algorithm>

#include "base/ascii.h"
#include "base/url.h"

namespace {

// What a request for url asks of its server: the scheme, the host in any
// case, the port whether given or implied, and the path and query as they
// go on the wire, so that an escaped "/" stays apart from a real one.
std::string ResourceOf(const CUrl& url) {
    const int port = url.GetPort() != 0 ? url.GetPort() : url.GetDefaultPort();
    const std::string& path = url.GetEscapedPath();
    return url.GetSchemeName() + "://" + ToLowerAscii(url.GetHost()) + ":" + std::to_string(port) +
           (path.empty() ? "/" : path) + url.GetEscapedQuery();
}

void AddOwner(std::vector<std::string>& owners, std::string resource) {
    if (std::find(owners.begin(), owners.end(), resource) == owners.end()) {
        owners.push_back(std::move(resource));
    }
}

}  // namespace

void CPathOwners::Add(const std::string& localPath, const CUrl& url) {
    AddOwner(m_owners[localPath], ResourceOf(url));
}

bool CPathOwners::Claim(const std::string& localPath, const CUrl& listed, const CUrl& fetched) {
    std::vector<std::string>& owners = m_owners[localPath];
    std::string listedResource = ResourceOf(listed);
    std::string fetchedResource = ResourceOf(fetched);
    const auto owns = [&owners](const std::string& resource) {
        return std::find(owners.begin(), owners.end(), resource) != owners.end();
    };
    if (!owners.empty() && !owns(listedResource) && !owns(fetchedResource)) {
        return false;
    }
    AddOwner(owners, std::move(listedResource));
    AddOwner(owners, std::move(fetchedResource));
    return true;
}
