#include "protocol/http_request_info.h"

#include "protocol/header_text.h"

namespace {

int EffectivePort(const CUrl& url) {
    return url.GetPort() != 0 ? url.GetPort() : url.GetDefaultPort();
}

}  // namespace

void CHttpRequestInfo::SetUrl(const CUrl& target, const std::string& siteUser,
                              const std::string& sitePassword) {
    url = target;
    user = siteUser;
    password = sitePassword;
}

void CHttpRequestInfo::SetRange(std::int32_t from, std::int32_t to, RangeKind kind) {
    rangeFrom = from;
    rangeTo = to;
    rangeKind = kind;
}

void CHttpRequestInfo::SetProxy(const CSocketAddress& address, const std::string& addressUser,
                                const std::string& addressPassword) {
    proxy = address;
    proxyUser = addressUser;
    proxyPassword = addressPassword;
}

bool IsSameServer(const CUrl& first, const CUrl& second) {
    return first.GetScheme() == second.GetScheme() &&
           EqualsIgnoreCase(first.GetHost(), second.GetHost()) &&
           EffectivePort(first) == EffectivePort(second);
}
