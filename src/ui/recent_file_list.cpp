#include "ui/recent_file_list.h"

#include <algorithm>

#include "platform/registry_key.h"

namespace {

const char* const kSection = "Recent File List";

std::string EntryName(std::size_t index) {
    return "File" + std::to_string(index + 1);
}

}  // namespace

void CRecentFileList::Load() {
    m_files.clear();
    const CRegistryKey key = GetSectionKey(kSection);
    for (std::size_t index = 0; index < kSize; ++index) {
        std::string path;
        if (key.ReadString(EntryName(index), path) && !path.empty()) {
            m_files.push_back(path);
        }
    }
}

void CRecentFileList::Save() const {
    CRegistryKey key = GetSectionKey(kSection);
    for (std::size_t index = 0; index < kSize; ++index) {
        // An emptied entry must not bring back a file from an earlier run.
        key.WriteString(EntryName(index), index < m_files.size() ? m_files[index] : std::string());
    }
}

void CRecentFileList::Add(const std::string& path) {
    Remove(path);
    m_files.insert(m_files.begin(), path);
    if (m_files.size() > kSize) {
        m_files.resize(kSize);
    }
}

void CRecentFileList::Remove(const std::string& path) {
    std::erase(m_files, path);
}
