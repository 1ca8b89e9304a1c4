#include "html/url_updater.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/file_stream.h"
#include "base/replacement_file.h"
#include "base/url.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "html/css_links.h"
#include "html/html_charset.h"
#include "html/link_element_table.h"
#include "html/srcset.h"
#include "html/tag_scanner.h"

namespace {

bool IsEscapedNonAscii(std::string_view text, std::size_t i) {
    return text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 8 &&
           IsHexDigit(text[i + 2]);
}

// A link and its entry in the list may spell bytes beyond ASCII differently:
// the list keeps a link as the page had it, while the library escapes such
// bytes when it writes an href or a src. The other spelling of the link:
// raw bytes escaped when it has any, else such escapes decoded.
std::string OtherSpelling(std::string_view link) {
    const bool raw = std::any_of(link.begin(), link.end(),
                                 [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    std::string other;
    for (std::size_t i = 0; i < link.size(); ++i) {
        const auto byte = static_cast<unsigned char>(link[i]);
        if (raw && byte >= 0x80) {
            other += '%';
            other += kUpperHexDigits[byte >> 4];
            other += kUpperHexDigits[byte & 0x0F];
        } else if (!raw && IsEscapedNonAscii(link, i)) {
            other +=
                static_cast<char>(HexDigitValue(link[i + 1]) * 16 + HexDigitValue(link[i + 2]));
            i += 2;
        } else {
            other += link[i];
        }
    }
    return other;
}

// The stored path of the listed URL that the address spells; empty when it
// names nothing downloadable or nothing saved.
std::string StoredPathOf(const CDownloadList& list, const std::string& address) {
    CUrl url;
    if (address.empty() || !url.Parse(address) || !IsDownloadableLink(url)) {
        return {};
    }
    return list.GetStoredPath(url);
}

// A saved file as the pass reads it: opened once, without following a link
// on the way, so that one placed in the download folder can neither bring a
// file from elsewhere into the mirror nor have one elsewhere replaced; its
// folder stays open for the replacement written beside it.
struct SavedFile {
    CFileDescriptor folder;
    std::string name;
    std::string text;
    timespec modified{};
};

// The whole file in one read where it can be; false when it cannot be opened.
bool ReadSavedFile(const CConfinedFolder& folder, const std::string& path, SavedFile& saved) {
    saved.folder = folder.OpenFolderOf(path, false, saved.name);
    struct stat info {};
    const CFileDescriptor file =
        saved.folder.IsValid()
            ? CConfinedFolder::OpenFileIn(saved.folder.Get(), saved.name, O_RDONLY, info)
            : CFileDescriptor();
    // A file that a writer holds is not read half written.
    if (!file.IsValid() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    saved.modified = info.st_mtim;
    // One byte beyond the size: a file that grew since is read to its end.
    saved.text.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t length = 0;
    while (true) {
        if (length == saved.text.size()) {
            saved.text.resize(length * 2);
        }
        const ssize_t read =
            ::read(file.Get(), saved.text.data() + length, saved.text.size() - length);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            ThrowStreamException(ERR_FILE_STREAM_READ);
        }
        if (read == 0) {
            break;
        }
        length += static_cast<std::size_t>(read);
    }
    saved.text.resize(length);
    return true;
}

// Only the links change, not the document that the server dated: tools that
// go by the time (rsync, backups, ls -t) must not see the page as new.
void ReplaceFile(SavedFile& saved, const std::string& text) {
    CReplacementFile file(std::move(saved.folder), saved.name);
    file.GetStream().Write(text.data(), text.size());
    file.KeepModificationTime(saved.modified);
    // A page can be fetched again, so it is not worth a sync per page; the
    // rename alone already keeps a failed write from truncating it.
    file.Commit(false);
}

bool IsPagePath(const std::string& path) {
    return IsHtmlExtension(CFilePath(path).GetExt());
}

bool IsStyleSheetPath(const std::string& path) {
    return EqualsIgnoreCase(CFilePath(path).GetExt(), ".css");
}

}  // namespace

CUrlUpdater::CUrlUpdater(CDownloadList& list, const CFilePath& downloadFolder,
                         CMessageTarget* window, unsigned width)
    : m_list(list),
      m_downloadFolder(downloadFolder),
      m_mapping(downloadFolder),
      m_window(window),
      m_width(std::max(width, 1U)) {}

void CUrlUpdater::RequestStop() {
    m_stop.Request();
}

// The saved pages are independent of each other, so several are rewritten
// at once; each thread has a document of its own, and the list is only read
// while they run, apart from the flags, which are set under a lock.
void CUrlUpdater::UpdateAll() {
    RevisitIfFilesWereSaved();
    PassShare share;
    share.entries = CollectEntriesToRewrite();
    SendMessage(m_window, WM_UPDATE_BEGIN, 0, static_cast<LPARAM>(share.entries.size()));
    {
        const std::size_t helperCount = std::min<std::size_t>(m_width, share.entries.size());
        std::vector<std::unique_ptr<CUrlUpdater>> helpers;
        std::vector<std::jthread> threads;
        for (std::size_t i = 1; i < helperCount; ++i) {
            CUrlUpdater& helper = *helpers.emplace_back(
                std::make_unique<CUrlUpdater>(m_list, m_downloadFolder, nullptr));
            try {
                threads.emplace_back([this, &helper, &share] { RunShare(helper, share); });
            } catch (const std::system_error&) {
                break;  // the threads there are take the pages on their own
            }
        }
        RunShare(*this, share);
    }
    if (share.failure) {
        std::rethrow_exception(share.failure);
    }
    if (share.handled == share.entries.size()) {
        PostMessage(m_window, WM_UPDATE_END, 0, 0);
    }
}

std::vector<const CDownloadEntry*> CUrlUpdater::CollectEntriesToRewrite() {
    std::vector<const CDownloadEntry*> entries;
    entries.reserve(m_list.CountToRewrite());
    m_list.RewindView();
    while (const CDownloadEntry* entry = m_list.NextToRewrite()) {
        entries.push_back(entry);
    }
    return entries;
}

void CUrlUpdater::RunShare(CUrlUpdater& page, PassShare& share) {
    // Nothing changes a stored path while the pass runs, so what a link
    // names holds from one page to the next, and only until the pass ends.
    page.m_localFiles.clear();
    page.m_localFilesHold = true;
    try {
        TakeEntries(page, share);
    } catch (...) {
        const std::scoped_lock lock(share.listLock);
        if (!share.failure) {
            share.failure = std::current_exception();
        }
        share.failed = true;
    }
    page.m_localFilesHold = false;
    page.m_localFiles = {};
}

void CUrlUpdater::TakeEntries(CUrlUpdater& page, PassShare& share) {
    while (!m_stop.IsRequested() && !share.failed) {
        const std::size_t index = share.next++;
        if (index >= share.entries.size()) {
            return;
        }
        const CDownloadEntry& entry = *share.entries[index];
        const EntryOutcome outcome = page.UpdateEntry(entry);
        if (outcome != EntryOutcome::Retry) {
            const std::scoped_lock lock(share.listLock);
            m_list.SetRewritten(entry.GetUrl(), true);
            if (outcome == EntryOutcome::KeptAsServed) {
                m_list.MarkError(entry.GetUrl(), ERR_PAGE_KEPT_AS_SERVED);
            }
        }
        PostMessage(m_window, WM_UPDATE_STEP, 0, reinterpret_cast<LPARAM>(&entry.GetStoredPath()));
        ++share.handled;
    }
}

void CUrlUpdater::RevisitIfFilesWereSaved() {
    bool handledBefore = false;
    bool savedSince = false;
    m_list.RewindView();
    while (const CDownloadEntry* entry = m_list.NextViewEntry()) {
        handledBefore = handledBefore || entry->IsRewritten();
        savedSince = savedSince || (entry->HasStoredPath() && !entry->IsRewritten());
    }
    if (!handledBefore || !savedSince) {
        return;
    }
    m_list.RewindView();
    while (const CDownloadEntry* entry = m_list.NextViewEntry()) {
        if (entry->IsRewritten()) {
            m_list.SetRewritten(entry->GetUrl(), false);
        }
    }
}

CUrlUpdater::EntryOutcome CUrlUpdater::UpdateEntry(const CDownloadEntry& entry) {
    std::string localPath;
    m_mapping.StoredToLocalPath(entry.GetUrl(), entry.GetStoredPath(), localPath);
    if (!localPath.empty() && IsPagePath(localPath)) {
        const std::optional<bool> spliced =
            SpliceFile(localPath, entry.GetPageWriting(), entry.GetUrlText());
        return !spliced   ? EntryOutcome::KeptAsServed
               : *spliced ? EntryOutcome::Done
                          : EntryOutcome::Retry;
    }
    // Any other file has nothing to rewrite: it is done once it has been seen.
    const bool done =
        localPath.empty() || !IsStyleSheetPath(localPath) || UpdateStyleSheet(localPath);
    return done ? EntryOutcome::Done : EntryOutcome::Retry;
}

bool CUrlUpdater::UpdateFile(const std::string& path, const std::string& pageUrl) {
    return SpliceFile(path, PageWriting::Unknown, pageUrl).value_or(false);
}

void CUrlUpdater::OnNode(CHtmlNode& node) {
    if (!node.IsElement()) {
        return;
    }
    if (node.GetNodeName() == "base") {
        // The links were resolved against it when the page was saved; left
        // in place it would send every relative link back to the web.
        if (!node.GetAttribute("href").empty()) {
            node.RemoveAttribute("href");
        }
        return;
    }
    if (const std::optional<LinkAttribute> attribute =
            FindLinkAttribute(node.GetNodeName(), node)) {
        RewriteLink(node, *attribute);
    }
    RewriteRequisites(node);
}

// Whatever the crawl's setting, only absolute links to downloaded files
// change, and the crawl leaves these places absolute only when it took them.
void CUrlUpdater::RewriteRequisites(CHtmlNode& node) {
    const auto local = [this](const std::string& link) { return MakeLocalLink(link); };
    const std::string name = node.GetNodeName();
    for (const RequisiteAttribute& attribute : FindRequisiteAttributes(name, node)) {
        const std::string value = node.GetAttribute(attribute.name);
        if (attribute.srcset) {
            SetChangedAttribute(node, attribute.name, value, RewriteSrcset(value, local));
        } else if (!value.empty()) {
            RewriteLink(node, LinkAttribute{attribute.name, false});
        }
    }
    const std::string style = node.GetAttribute("style");
    if (!style.empty()) {
        SetChangedAttribute(node, "style", style, RewriteCssLinks(style, local));
    }
}

void CUrlUpdater::SetChangedAttribute(CHtmlNode& node, const char* name, const std::string& value,
                                      const std::string& rewritten) {
    if (rewritten == value) {
        return;
    }
    try {
        node.SetAttribute(name, rewritten);
    } catch (const CHtmlException&) {
        // The links keep their absolute URLs, which still work online.
    }
}

bool CUrlUpdater::UpdateStyleSheet(const std::string& path) {
    BeginPage(path);
    try {
        SavedFile saved;
        if (!ReadSavedFile(m_mapping.GetFolder(), path, saved)) {
            return false;
        }
        const std::string rewritten = RewriteCssLinks(
            saved.text, [this](const std::string& link) { return MakeLocalLink(link); });
        if (rewritten != saved.text) {
            ReplaceFile(saved, rewritten);
        }
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}

std::optional<bool> CUrlUpdater::SpliceFile(const std::string& path, PageWriting writing,
                                            const std::string& pageUrl) {
    BeginPage(path);
    const auto local = [this](const std::string& link) { return MakeLocalLink(link); };
    try {
        SavedFile saved;
        if (!ReadSavedFile(m_mapping.GetFolder(), path, saved)) {
            return false;
        }
        const std::string& page = saved.text;
        const auto visit = [this](CHtmlNode& element) { OnNode(element); };
        const bool utf8 = writing == PageWriting::OwnMarkupUtf8 ||
                          (writing == PageWriting::Unknown && html_charset::IsUtf8(page));
        if (!TakeBaseHref(page, utf8, pageUrl)) {
            return std::nullopt;
        }
        const std::optional<std::string> spliced =
            m_splicer.SpliceOwnMarkup(page, utf8, visit, local, !m_pageBase.empty());
        if (!spliced) {
            return std::nullopt;
        }
        if (*spliced != page) {
            ReplaceFile(saved, *spliced);
        }
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}

void CUrlUpdater::RewriteLink(CHtmlNode& node, const LinkAttribute& attribute) {
    const std::string value = node.GetAttribute(attribute.name);
    const std::string localLink = MakeLocalLink(TrimHtmlWhiteSpace(LinkOfValue(attribute, value)));
    if (localLink.empty()) {
        return;
    }
    try {
        node.SetAttribute(attribute.name, ReplaceLinkOfValue(attribute, value, localLink));
    } catch (const CHtmlException&) {
        // The link keeps its absolute URL, which still works online.
        return;
    }
    // A link resolved against a base that names no saved file leads to the
    // web still, where the digest holds.
    if (CUrl web; web.Parse(localLink)) {
        return;
    }
    // A browser checks no digest of a file it reads from the disk and sends
    // no cross-origin request for one: it refuses the file instead, whether
    // or not the file is the one the digest was made of.
    node.RemoveAttribute("integrity");
    node.RemoveAttribute("crossorigin");
}

void CUrlUpdater::BeginPage(const std::string& path) {
    m_currentFolder = CFilePath(path).GetDir();
    if (!m_localFilesHold) {
        m_localFiles.clear();
    }
    m_pageBase.clear();
    m_localReferences.clear();
}

// A page the crawl rewrote has no base href left; one it did not (a page of
// an earlier run, say) has its relative links still waiting for it.
bool CUrlUpdater::TakeBaseHref(std::string_view page, bool utf8, const std::string& pageUrl) {
    const std::optional<ScannedAttribute> href = FindFirstBaseHref(page);
    if (!href) {
        return true;
    }
    const std::optional<std::string> value = DecodeAttributeValue(href->value);
    // Bytes beyond ASCII in a page that is not UTF-8 are characters of a
    // character set this reading does not know.
    if (!value || (!utf8 && !IsAscii(*value))) {
        return false;
    }
    if (!value->empty()) {
        m_pageBase = ResolveBaseHref(pageUrl, *value);
    }
    return true;
}

std::string CUrlUpdater::MakeLocalLink(const std::string& link) const {
    if (link.empty() || link.size() > kMaxLinkLength) {
        return {};
    }
    CUrl url;
    if (!m_pageBase.empty() && !url.Parse(link) && url.ResolveRelative(m_pageBase, link)) {
        const std::string local = MakeLocalLinkOfAbsolute(url.GetSourceText());
        return local.empty() ? url.GetSourceText() : local;
    }
    return MakeLocalLinkOfAbsolute(link);
}

std::string CUrlUpdater::MakeLocalLinkOfAbsolute(const std::string& link) const {
    const std::size_t hash = link.rfind('#');
    // The query is dropped with the rest of the address: the local file's
    // name already stands for it.
    const std::string& reference = LocalReferenceOf(std::string_view(link).substr(0, hash));
    if (reference.empty()) {
        return {};
    }
    return hash == std::string::npos ? reference : reference + link.substr(hash);
}

const std::string& CUrlUpdater::LocalReferenceOf(std::string_view address) const {
    if (const auto found = m_localReferences.find(address); found != m_localReferences.end()) {
        return found->second;
    }
    std::string& reference = m_localReferences[std::string(address)];
    const std::string& target = LocalFileOf(address);
    if (!target.empty()) {
        const std::string relative = CFilePath::RelativePath(target, m_currentFolder);
        if (!relative.empty()) {
            reference = EscapeLocalReference(relative);
        }
    }
    return reference;
}

const std::string& CUrlUpdater::LocalFileOf(std::string_view address) const {
    if (const auto found = m_localFiles.find(address); found != m_localFiles.end()) {
        return found->second;
    }
    // Bounded, so that a site of a million URLs does not keep a second copy
    // of them on every thread; the links a site repeats come back at once.
    if (m_localFiles.size() >= kMaxLocalFiles) {
        m_localFiles.clear();
    }
    const std::string storedPath = FindStoredPath(std::string(address));
    return m_localFiles[std::string(address)] =
               storedPath.empty() ? "" : m_mapping.StoredToSlashPath(storedPath);
}

std::string CUrlUpdater::FindStoredPath(const std::string& address) const {
    std::string storedPath = StoredPathOf(m_list, address);
    if (storedPath.empty()) {
        // Only an address with bytes beyond ASCII has another spelling, and
        // most links that reach here lead to files that were not saved.
        if (const std::string other = OtherSpelling(address); other != address) {
            storedPath = StoredPathOf(m_list, other);
        }
    }
    return storedPath;
}

std::string EscapeLocalReference(const std::string& relativePath) {
    std::string percentsEscaped;
    percentsEscaped.reserve(relativePath.size());
    for (const char c : relativePath) {
        if (c == '%') {
            percentsEscaped += "%25";
        } else {
            percentsEscaped += c;
        }
    }
    // Every "%" is now the start of a valid escape, which EscapeComponent keeps.
    std::string escaped = CUrl::EscapeComponent(percentsEscaped, UrlComponent::Path);
    const std::size_t colon = escaped.find(':');
    if (colon != std::string::npos && colon < escaped.find('/')) {
        escaped.insert(0, "./");
    }
    return escaped;
}
