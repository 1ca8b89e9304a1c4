// A URL found by the crawl, with the level at which it was found and whether
// it counts as an internal link.
#pragma once

#include <cstdint>
#include <utility>

#include "base/url.h"

class CLinkItem {
public:
    CLinkItem() = default;
    CLinkItem(CUrl url, std::int32_t level, bool internal)
        : m_url(std::move(url)), m_level(level), m_internal(internal) {}
    CLinkItem(const CLinkItem&) = default;
    CLinkItem& operator=(const CLinkItem&) = default;
    CLinkItem(CLinkItem&&) = default;
    CLinkItem& operator=(CLinkItem&&) = default;

    // Without fragment: callers strip it and re-parse before they add a link.
    const CUrl& GetUrl() const { return m_url; }
    void SetUrl(CUrl url) { m_url = std::move(url); }
    // 0 for the starting URL.
    std::int32_t GetLevel() const { return m_level; }
    void SetLevel(std::int32_t level) { m_level = level; }
    bool IsInternal() const { return m_internal; }
    void SetInternal(bool internal) { m_internal = internal; }

private:
    CUrl m_url;
    std::int32_t m_level = 0;
    bool m_internal = false;
};
