// The protection spaces in which servers accepted the site's credentials, so
// that later requests carry them before any challenge (RFC 7617 section 2.2):
// a request to a path at or below the folder of an accepted one, on the same
// scheme, host and port. One store serves the clients of every worker of a
// crawl, so its operations lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/url.h"
#include "protocol/auth_challenge.h"

class CProtectionSpaces {
public:
    struct Match {
        CAuthChallenge challenge;
        // The count of this use of the challenge's nonce.
        std::uint32_t nonceCount = 0;
    };

    // The challenge last accepted in the deepest space that holds url; its
    // nonce count is taken, so two requests never send the same one.
    std::optional<Match> Find(const CUrl& url);
    // The count for the next use of nonce on url's server: 1 for a nonce that
    // no accepted challenge holds.
    std::uint32_t NextNonceCount(const CUrl& url, const std::string& nonce);
    // url's server accepted credentials that answered challenge with
    // nonceCount: the folder of url joins the space of the challenge's realm,
    // and every later request in that realm answers this challenge.
    void Accept(const CUrl& url, const CAuthChallenge& challenge, std::uint32_t nonceCount);
    void Clear();

private:
    struct Realm {
        std::string server;
        CAuthChallenge challenge;
        std::uint32_t nonceCount = 0;
        std::vector<std::string> folders;
    };

    std::mutex m_lock;
    std::vector<Realm> m_realms;
};
