// Checks a downloaded site the way a browser reading it from the disk would:
// every relative link of every saved page must lead to an existing file, and
// no link may still point at the web for a URL that was downloaded.
#pragma once

#include <strings.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/file_stream.h"
#include "base/url.h"
#include "engine/download_list.h"
#include "html/html_document.h"
#include "html/link_element_table.h"
#include "storage/file_path.h"
#include "storage/local_file_mapping.h"

namespace testing_support {

class LinkCollector : public CHtmlDocument {
public:
    std::vector<std::string> links;

protected:
    void OnNode(CHtmlNode& node) override {
        if (!node.IsElement()) {
            return;
        }
        if (const auto attribute = FindLinkAttribute(node.GetNodeName(), node)) {
            const std::string value =
                TrimHtmlWhiteSpace(LinkOfValue(*attribute, node.GetAttribute(attribute->name)));
            if (!value.empty()) {
                links.push_back(value);
            }
        }
    }
};

inline std::vector<std::string> CollectLinks(const std::string& pagePath) {
    LinkCollector collector;
    CFileStream stream;
    stream.Open(pagePath, CFileStream::modeRead);
    collector.Load(stream);
    collector.Walk();
    return collector.links;
}

// A reference with a scheme ("mailto:", "javascript:") is no file reference.
inline bool HasScheme(const std::string& reference) {
    const std::size_t colon = reference.find(':');
    return colon != std::string::npos && colon < reference.find_first_of("/?#");
}

class LinkChecker {
public:
    LinkChecker(CDownloadList& list, const std::string& downloadFolder)
        : m_list(list), m_mapping(CFilePath(downloadFolder)) {}

    // One line per fault found, empty when the site browses offline.
    std::vector<std::string> CheckSavedPages() {
        std::vector<std::string> faults;
        m_list.RewindView();
        while (const CDownloadEntry* entry = m_list.NextViewEntry()) {
            std::string page;
            m_mapping.StoredToLocalPath(entry->GetUrl(), entry->GetStoredPath(), page);
            if (entry->HasStoredPath() && IsPage(page)) {
                CheckPage(page, faults);
            }
        }
        return faults;
    }

    std::size_t GetCheckedLinkCount() const { return m_checked; }

private:
    static bool IsPage(const std::string& path) {
        const std::string extension = CFilePath(path).GetExt();
        return ::strcasecmp(extension.c_str(), ".htm") == 0 ||
               ::strcasecmp(extension.c_str(), ".html") == 0;
    }

    void CheckPage(const std::string& page, std::vector<std::string>& faults) {
        for (const std::string& link : CollectLinks(page)) {
            ++m_checked;
            const std::string address = link.substr(0, link.find('#'));
            CUrl url;
            if (url.Parse(address)) {
                if (!m_list.GetStoredPath(url).empty()) {
                    faults.push_back(page + ": still points at the web: " + link);
                }
            } else if (!address.empty() && !HasScheme(address)) {
                CheckRelative(page, address, faults);
            }
        }
    }

    static void CheckRelative(const std::string& page, const std::string& address,
                              std::vector<std::string>& faults) {
        const std::string path = CUrl::UnescapeComponent(address.substr(0, address.find('?')));
        const CFilePath target = CFilePath::Combine(page, path);
        if (target.IsEmpty() || !std::filesystem::is_regular_file(target.GetFullPath())) {
            faults.push_back(page + ": broken link: " + address);
        }
    }

    CDownloadList& m_list;
    CLocalFileMapping m_mapping;
    std::size_t m_checked = 0;
};

}  // namespace testing_support
