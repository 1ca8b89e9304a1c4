// The ordered file filters of a project and their place in the project file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_filter.h"

class CStream;

class CFilterList {
public:
    CFilterList() = default;
    CFilterList(const CFilterList&) = default;
    CFilterList& operator=(const CFilterList&) = default;
    CFilterList(CFilterList&&) = default;
    CFilterList& operator=(CFilterList&&) = default;

    // The six groups a new project starts with, all disabled: "Image",
    // "Archive", "Document", "Audio", "Video" and the empty "Other".
    static CFilterList DefaultGroups();

    void Append(const CFileFilter& filter) { m_filters.push_back(filter); }
    void Append(std::string name, std::string_view extensionText, std::uint32_t minimumKb,
                std::uint32_t maximumKb, bool enabled);
    void RemoveAt(std::size_t index);
    void RemoveAll() { m_filters.clear(); }
    void CopyFrom(const CFilterList& other) { *this = other; }

    std::size_t GetCount() const { return m_filters.size(); }
    CFileFilter& GetAt(std::size_t index) { return m_filters.at(index); }
    const CFileFilter& GetAt(std::size_t index) const { return m_filters.at(index); }
    bool AnyEnabled() const;

    // int count, then per filter: name, formatted extension text, minimum,
    // maximum, enabled. Load replaces the list only when it read completely.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

private:
    std::vector<CFileFilter> m_filters;
};
