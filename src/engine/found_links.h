// The links that one saved page yielded, in page order, on their way from
// the worker to the download list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CUrl;

// A page may hold a million links, so they are kept as their texts back to
// back in one buffer, not as a URL object each: the list costs about what
// the links cost in the page.
class CFoundLinks {
public:
    struct Link {
        // The URL's source text without its fragment.
        std::string_view urlText;
        std::int32_t level;
        bool internal;
        std::uint8_t requisiteDepth;
    };

    class Iterator {
    public:
        Iterator(const CFoundLinks& links, std::size_t index) : m_links(&links), m_index(index) {}
        Link operator*() const { return (*m_links)[m_index]; }
        Iterator& operator++() {
            ++m_index;
            return *this;
        }
        bool operator==(const Iterator& other) const = default;

    private:
        const CFoundLinks* m_links;
        std::size_t m_index;
    };

    // Appends the URL without its fragment, as the download list keys it;
    // false, appending nothing, when what is left of it does not parse.
    bool Add(const CUrl& url, std::int32_t level, bool internal, std::uint8_t requisiteDepth = 0);
    void Clear();

    std::size_t size() const { return m_links.size(); }
    bool empty() const { return m_links.empty(); }
    Link operator[](std::size_t index) const;
    Iterator begin() const { return Iterator(*this, 0); }
    Iterator end() const { return Iterator(*this, m_links.size()); }

private:
    struct Record {
        std::size_t offset;
        std::uint32_t length;
        std::int32_t level;
        bool internal;
        std::uint8_t requisiteDepth;
    };

    std::string m_texts;
    std::vector<Record> m_links;
};
