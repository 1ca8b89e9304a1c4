// Which URLs own the local files of a crawl, so that two URLs never write one
// file. A file belongs to the listed URL whose body it holds and to the URL
// that body was fetched from after redirects: both name one resource, as do
// two URLs whose requests are the same ("http://h" and "http://H:80/").
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

class CUrl;

class CPathOwners {
public:
    // A file that url saved or began to save before this crawl started.
    void Add(const std::string& localPath, const CUrl& url);
    // True when localPath has no owner yet, or already belongs to listed or
    // to fetched; the file then belongs to both.
    bool Claim(const std::string& localPath, const CUrl& listed, const CUrl& fetched);
    void Clear() { m_owners.clear(); }

private:
    // A file has one owner but for redirects, so a short list beats a set.
    std::unordered_map<std::string, std::vector<std::string>> m_owners;
};
