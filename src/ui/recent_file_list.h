// The most recently used project files, newest first, kept in the settings
// store's "Recent File List" section as "File1" to "File4".
#pragma once

#include <string>
#include <vector>

class CRecentFileList {
public:
    static constexpr std::size_t kSize = 4;

    void Load();
    // Write failures are ignored: there is nobody to tell at exit.
    void Save() const;

    // Moves path to the front, dropping the oldest beyond kSize.
    void Add(const std::string& path);
    void Remove(const std::string& path);
    const std::vector<std::string>& GetFiles() const { return m_files; }

private:
    std::vector<std::string> m_files;
};
