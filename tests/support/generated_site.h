// A site of many pages for end-to-end crawl tests, written to a folder for a
// real server, with the model that says what a crawl of it must fetch: a tree
// of pages in deep folders whose links lead only down the tree or back to
// ancestors (so every page's crawl level is its depth, whatever the thread
// count), shared images, one style sheet, broken links and links to a second
// host.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace testing_support {

class GeneratedSite {
public:
    static constexpr int kFanout = 4;

    struct Link {
        std::string target;  // a path on the site's host, or a whole URL of the other host
        bool anchor;
    };

    // externalBase: "http://host:port" of the second host, whose files go
    // below externalRoot.
    GeneratedSite(const std::filesystem::path& root, const std::filesystem::path& externalRoot,
                  std::string externalBase, int pages, int images)
        : m_root(root),
          m_externalRoot(externalRoot),
          m_externalBase(std::move(externalBase)),
          m_images(images) {
        m_pagePaths.push_back("/");
        for (int i = 0; i < pages; ++i) {
            m_pagePaths.push_back(PagePath(i));
        }
        WriteFile("/style.css", "body { color: #123456; }\n");
        WritePage("/", RootLinks());
        WritePage("/index.html", RootLinks());
        for (int i = 0; i < pages; ++i) {
            WritePage(PagePath(i), PageLinks(i, pages));
        }
        for (int n = 0; n < images; ++n) {
            WriteFile(ImagePath(n), Bytes(n, 400 + (n * 37) % 2600));
        }
    }

    // The paths of the pages that exist, "/" first.
    const std::vector<std::string>& PagePaths() const { return m_pagePaths; }
    static std::string PagePath(int i) { return Folder(i) + "p" + std::to_string(i) + ".html"; }
    // Whether a target is a file the servers have.
    bool Exists(const std::string& target) const { return m_files.count(target) > 0; }
    bool IsExternal(const std::string& target) const { return target.rfind("http", 0) == 0; }
    // The bytes served for a target.
    std::string Content(const std::string& target) const { return m_files.at(target); }

    // What a crawl from start must list, each target with its level: anchors
    // are followed down to maxLevel (-1: every level) and, with a scope
    // folder, only below it; other links are always fetched; anchors to the
    // other host never (it lies outside the domain).
    std::map<std::string, int> Crawl(const std::string& start, int maxLevel = -1,
                                     const std::string& scopeFolder = "") const {
        std::map<std::string, int> listed{{start, 0}};
        std::vector<std::string> order{start};
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto links = m_links.find(order[i]);
            if (links == m_links.end()) {
                continue;
            }
            const int level = listed[order[i]] + 1;
            for (const Link& link : links->second) {
                if (link.anchor && !Follows(link.target, level, maxLevel, scopeFolder)) {
                    continue;
                }
                if (listed.emplace(link.target, level).second) {
                    order.push_back(link.target);
                }
            }
        }
        return listed;
    }

private:
    static std::string Folder(int i) {
        if (i < kFanout) {
            return "/sec" + std::to_string(i) + "/";
        }
        const int parent = (i - kFanout) / kFanout;
        return Folder(parent) + "d" + std::to_string(Depth(i)) + "/";
    }
    static int Depth(int i) { return i < kFanout ? 1 : Depth((i - kFanout) / kFanout) + 1; }
    static std::string ImagePath(int n) {
        return "/img/" + std::to_string(n % 10) + "/pic" + std::to_string(n) + ".png";
    }

    bool Follows(const std::string& target, int level, int maxLevel,
                 const std::string& scopeFolder) const {
        if (IsExternal(target) || (maxLevel >= 0 && level > maxLevel)) {
            return false;
        }
        return scopeFolder.empty() || target.rfind(scopeFolder, 0) == 0;
    }

    std::vector<Link> RootLinks() const {
        std::vector<Link> links{{"/style.css", false}, {"/index.html", true}};
        for (int i = 0; i < kFanout; ++i) {
            links.push_back({PagePath(i), true});
        }
        links.push_back({ImagePath(0), false});
        return links;
    }

    std::vector<Link> PageLinks(int i, int pages) const {
        std::vector<Link> links{{"/style.css", false}, {"/index.html", true}};
        if (i >= kFanout) {
            links.push_back({PagePath((i - kFanout) / kFanout), true});
        }
        for (int child = kFanout + i * kFanout; child < kFanout + (i + 1) * kFanout; ++child) {
            if (child < pages) {
                links.push_back({PagePath(child), true});
            }
        }
        links.push_back({ImagePath((2 * i) % m_images), false});
        links.push_back({ImagePath((2 * i + 1) % m_images), false});
        if (i % 37 == 5) {
            links.push_back({Folder(i) + "missing" + std::to_string(i) + ".html", true});
        }
        if (i % 53 == 7) {
            links.push_back({"/img/gone" + std::to_string(i) + ".png", false});
        }
        if (i % 41 == 3) {
            links.push_back({m_externalBase + "/ext/page" + std::to_string(i) + ".html", true});
            links.push_back({m_externalBase + "/ext/pic" + std::to_string(i) + ".png", false});
        }
        return links;
    }

    // Children are written relative to the page, the rest as absolute paths
    // or URLs; the first link comes twice, once with a fragment.
    void WritePage(const std::string& path, const std::vector<Link>& links) {
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        std::string html = "<html><head><title>" + path +
                           "</title>\n<link rel=\"stylesheet\" href=\"/style.css\"></head>\n"
                           "<body><h1>" +
                           path + "</h1>\n";
        for (const Link& link : links) {
            std::string href = link.target;
            if (href.rfind(folder, 0) == 0 && folder != "/") {
                href = href.substr(folder.size());
            }
            if (link.anchor) {
                html += "<a href=\"" + href + "\">" + link.target + "</a>\n";
            } else if (link.target != "/style.css") {
                html += "<img src=\"" + href + "\">\n";
            }
        }
        if (links.size() > 2) {
            html += "<a href=\"" + links[2].target + "#again\">again</a>\n";
        }
        html += "</body></html>\n";
        m_links[path] = links;
        if (path == "/") {
            return;  // served from /index.html
        }
        WriteFile(path, html);
        for (const Link& link : links) {
            if (IsExternal(link.target) && !link.anchor) {
                const std::string name = link.target.substr(m_externalBase.size());
                WriteTo(m_externalRoot, name, Bytes(static_cast<int>(name.size()), 700));
                m_files[link.target] = Bytes(static_cast<int>(name.size()), 700);
            }
        }
    }

    void WriteFile(const std::string& path, const std::string& bytes) {
        WriteTo(m_root, path, bytes);
        m_files[path] = bytes;
        if (path == "/index.html") {
            m_files["/"] = bytes;
        }
    }

    static void WriteTo(const std::filesystem::path& root, const std::string& path,
                        const std::string& bytes) {
        const std::filesystem::path file = root / path.substr(1);
        std::filesystem::create_directories(file.parent_path());
        testing_support::WriteFile(file.string(), bytes);
    }

    static std::string Bytes(int seed, int size) {
        std::string bytes = "\x89PNG\r\n\x1a\n";
        std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed);
        while (static_cast<int>(bytes.size()) < size) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            bytes.push_back(static_cast<char>(state & 0xFF));
        }
        return bytes;
    }

    std::filesystem::path m_root;
    std::filesystem::path m_externalRoot;
    std::string m_externalBase;
    int m_images;
    std::vector<std::string> m_pagePaths;
    std::map<std::string, std::vector<Link>> m_links;
    std::map<std::string, std::string> m_files;
};

}  // namespace testing_support
