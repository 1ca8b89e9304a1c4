// The pass that makes a downloaded site browsable from the disk: every saved
// page's and style sheet's links to downloaded URLs, absolute since the crawl
// saved the file, become relative paths to the local files.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/download_entry.h"
#include "html/html_document.h"
#include "html/link_element_table.h"
#include "html/link_splicer.h"
#include "platform/message_target.h"
#include "platform/stop_flag.h"
#include "storage/local_file_mapping.h"

class CDownloadList;
class CDownloadEntry;

// Progress of the pass, to the window that watches it.
// lParam: the number of entries the pass will visit. Sent, so that the
// window has its range before the first step arrives.
constexpr UINT WM_UPDATE_BEGIN = 0x601;
// lParam: a const std::string* to the stored path of the entry just handled.
// It points into the download list, which nothing changes while the pass
// runs, so it stays valid for as long as the window lives.
constexpr UINT WM_UPDATE_STEP = 0x602;
// lParam: 0. Not posted when the pass was stopped.
constexpr UINT WM_UPDATE_END = 0x603;

class CUrlUpdater : public CHtmlDocument {
public:
    // Links longer than this are left as they are.
    static constexpr std::size_t kMaxLinkLength = 1024;

    // The list must outlive the updater; the window may be null. The pass
    // rewrites up to width pages at once, each on a thread of its own.
    CUrlUpdater(CDownloadList& list, const CFilePath& downloadFolder, CMessageTarget* window,
                unsigned width = 1);

    // Rewrites every saved page whose rewritten flag is clear, taking them in
    // list order (with a width above one the steps may arrive out of it),
    // and sets the flag of each page rewritten. A page that cannot be read
    // with certainty is left as it is, flagged, and its entry's result says
    // ERR_PAGE_KEPT_AS_SERVED. Saved style sheets (.css)
    // have their links rewritten in place too. Other entries are counted and
    // reported but not opened; their flag is set as they are seen. When files were saved since an
    // earlier pass (entries with a stored path and a clear flag beside flagged ones), every flag is
    // cleared first: a page rewritten then may link to them. Ends early,
    // without WM_UPDATE_END, when a stop is requested; the pages under way
    // are finished first.
    void UpdateAll();
    // Rewrites the links of the page at the absolute path in place, reading
    // it in its own markup: only the values whose links change are written
    // anew, escaped so that they cannot end their tag, and every other byte
    // stays. The new page is written beside the old one and renamed over
    // it, so that a failed write leaves the old page whole. False when the
    // page cannot be read, or written, or read with certainty (then it is
    // left as it is). A page that still has a base element with an href
    // (one the crawl did not rewrite) loses it, so its relative links are
    // first resolved against the first such base, itself resolved against
    // pageUrl, the URL the page was saved from.
    bool UpdateFile(const std::string& path, const std::string& pageUrl = {});
    // The same for a page the way the crawl wrote it; none, changing
    // nothing, when the page cannot be read with certainty.
    std::optional<bool> SpliceFile(const std::string& path, PageWriting writing,
                                   const std::string& pageUrl = {});
    // May be called from any thread.
    void RequestStop();

protected:
    void OnNode(CHtmlNode& node) override;

private:
    // What the threads of one pass share: the entries to visit, the next one
    // to take, and the first failure, which stops the others too.
    struct PassShare {
        std::vector<const CDownloadEntry*> entries;
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> handled{0};
        std::mutex listLock;
        std::exception_ptr failure;
        std::atomic<bool> failed{false};
    };

    void RevisitIfFilesWereSaved();
    std::vector<const CDownloadEntry*> CollectEntriesToRewrite();
    // Takes entries from the share until none is left, a stop is requested
    // or another thread failed, rewriting each with page.
    void RunShare(CUrlUpdater& page, PassShare& share);
    void TakeEntries(CUrlUpdater& page, PassShare& share);
    enum class EntryOutcome {
        Done,
        // A page that cannot be read with certainty keeps the bytes it has,
        // its links as they are, and the list says so.
        KeptAsServed,
        // To be tried again by the next pass.
        Retry,
    };
    EntryOutcome UpdateEntry(const CDownloadEntry& entry);
    // Makes the link local; the element then loses its integrity and
    // crossorigin, which no file passes.
    void RewriteLink(CHtmlNode& node, const LinkAttribute& attribute);
    // srcset candidates, media and style attributes.
    void RewriteRequisites(CHtmlNode& node);
    void SetChangedAttribute(CHtmlNode& node, const char* name, const std::string& value,
                             const std::string& rewritten);
    // Rewrites the url() and @import links of a saved style sheet in place,
    // every other byte kept; false when it cannot be read or written.
    bool UpdateStyleSheet(const std::string& path);
    // Makes path the page whose links are rewritten.
    void BeginPage(const std::string& path);
    // Takes the page's first base href, if it still has one; false when
    // the base cannot be read with certainty.
    bool TakeBaseHref(std::string_view page, bool utf8, const std::string& pageUrl);
    // The relative reference from the current page to the local file of the
    // absolute link, fragment kept; empty when the link is to stay as it is.
    // With a page base, a relative link is resolved first, and becomes its
    // absolute URL when it names no saved file.
    std::string MakeLocalLink(const std::string& link) const;
    std::string MakeLocalLinkOfAbsolute(const std::string& link) const;
    // The same for a link without its fragment, worked out once per page: a
    // page links to the same few files over and over.
    const std::string& LocalReferenceOf(std::string_view address) const;
    // The local file of the address, as a full path; empty when none. Kept
    // from page to page: most pages link to the same few files, and each
    // page is linked from several.
    const std::string& LocalFileOf(std::string_view address) const;
    // The stored path of the listed URL that the address names, in either
    // spelling of its bytes beyond ASCII; empty when there is none.
    std::string FindStoredPath(const std::string& address) const;

    CDownloadList& m_list;
    CFilePath m_downloadFolder;
    CLocalFileMapping m_mapping;
    CMessageTarget* m_window;
    // The folder of the page whose links are rewritten, as CFilePath::GetDir
    // gives it.
    std::string m_currentFolder;
    // What the current page's relative links resolve against while its base
    // element's href goes; empty when they stay as they are.
    std::string m_pageBase;
    // Looked up by the link's text where it stands, without a copy of it.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using TextMap = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;
    static constexpr std::size_t kMaxLocalFiles = 1 << 16;
    mutable TextMap m_localReferences;
    mutable TextMap m_localFiles;
    // Set while a pass runs on this updater: m_localFiles is then kept from
    // page to page.
    bool m_localFilesHold = false;
    CStopFlag m_stop;
    unsigned m_width;
    CLinkSplicer m_splicer;
};

// Escapes a relative file path so that a browser reads it back as the same
// bytes: "%", "#", "?", blanks, controls and bytes beyond ASCII become %XX,
// and a first segment with ":" gets "./" so that it cannot pass for a scheme.
std::string EscapeLocalReference(const std::string& relativePath);
