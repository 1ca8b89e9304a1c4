// A URL found by the crawl, with the level at which it was found, whether it
// counts as an internal link, and how many page resources lead to it.
#pragma once

#include <cstdint>
#include <utility>

#include "base/url.h"

// A resource of a resource of a resource... (style sheets that import a new
// sheet each, frames in frames) is fetched whatever the level limits say, so
// such a chain is cut at this depth on its own count.
constexpr std::uint8_t kMaxRequisiteDepth = 10;

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
    // 0 for an anchor's target and the starting URL; a page resource found on
    // an item of depth d has d + 1.
    std::uint8_t GetRequisiteDepth() const { return m_requisiteDepth; }
    void SetRequisiteDepth(std::uint8_t depth) { m_requisiteDepth = depth; }

private:
    CUrl m_url;
    std::int32_t m_level = 0;
    bool m_internal = false;
    std::uint8_t m_requisiteDepth = 0;
};
