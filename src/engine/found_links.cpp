#include "engine/found_links.h"

#include "base/url.h"

bool CFoundLinks::Add(const CUrl& url, std::int32_t level, bool internal,
                      std::uint8_t requisiteDepth) {
    const std::string& text = url.GetSourceText();
    const std::size_t hash = text.find('#');
    std::string_view kept(text);
    if (hash != std::string::npos) {
        // The text before the fragment is a URL of its own only when it
        // parses again.
        kept = kept.substr(0, hash);
        if (CUrl stripped; !stripped.Parse(kept)) {
            return false;
        }
    }
    const std::size_t offset = m_texts.size();
    m_texts.append(kept);
    try {
        m_links.push_back(
            {offset, static_cast<std::uint32_t>(kept.size()), level, internal, requisiteDepth});
    } catch (...) {
        m_texts.resize(offset);
        throw;
    }
    return true;
}

void CFoundLinks::Clear() {
    m_texts.clear();
    m_links.clear();
}

CFoundLinks::Link CFoundLinks::operator[](std::size_t index) const {
    const Record& record = m_links[index];
    return {std::string_view(m_texts).substr(record.offset, record.length), record.level,
            record.internal, record.requisiteDepth};
}
