#include "chm/chm_builder.h"

#include <libxml/encoding.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

#include "base/ascii.h"
#include "base/file_stream.h"
#include "chm/html_help_compiler.h"
#include "html/html_charset.h"
#include "html/html_document.h"
#include "html/html_node.h"
#include "platform/message_target.h"

namespace {

constexpr std::size_t kFileBufferSize = 8192;

struct CFolderEntry {
    std::string name;
    bool isFolder;
};

// The folder's entries sorted by name, byte by byte: the order in which
// Linux file systems list them changes from one folder to the next, and the
// contents and index must come out the same on every build. Links are left
// out: the crawl makes none, and one placed in the download folder would
// bring a file from elsewhere into the help file, or trap the walk in a loop.
// A folder that cannot be read has no entries.
std::vector<CFolderEntry> ListFolder(const std::string& folder) {
    std::vector<CFolderEntry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code statusError;
        const std::filesystem::file_type type = it->symlink_status(statusError).type();
        if (type != std::filesystem::file_type::symlink) {
            entries.push_back(
                {it->path().filename().string(), type == std::filesystem::file_type::directory});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const CFolderEntry& a, const CFolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != CFilePath::kSeparator) {
        folder += CFilePath::kSeparator;
    }
    return folder;
}

bool HasExtension(std::string_view name, std::string_view extension) {
    return name.size() >= extension.size() &&
           EqualsIgnoreCase(name.substr(name.size() - extension.size()), extension);
}

bool IsPage(std::string_view name) {
    return HasExtension(name, ".htm") || HasExtension(name, ".html");
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The contents file is saved as ISO-8859-1, so a name read byte by byte as
// Latin-1 comes back in the saved file as its own bytes, which is what the
// compiler needs to find the file. Bytes that are no UTF-8 could not go into
// the tree at all: the library would refuse to save it.
std::string BytesAsLatin1(std::string_view bytes) {
    std::string text(bytes.size() * 2, '\0');
    int textLength = static_cast<int>(text.size());
    int bytesLength = static_cast<int>(bytes.size());
    if (::isolat1ToUTF8(reinterpret_cast<unsigned char*>(text.data()), &textLength,
                        reinterpret_cast<const unsigned char*>(bytes.data()), &bytesLength) < 0) {
        return {};
    }
    text.resize(static_cast<std::size_t>(textLength));
    return text;
}

// A name to show: as it is when it is UTF-8 (characters beyond Latin-1 are
// saved as character references), read as Latin-1 otherwise.
std::string NameAsText(const std::string& name) {
    return html_charset::IsUtf8(name) ? name : BytesAsLatin1(name);
}

CHtmlNode NewElement(const std::string& name) {
    CHtmlNode element;
    if (!element.CreateElement(name)) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    return element;
}

void AppendParam(CHtmlNode& object, const std::string& name, const std::string& value) {
    CHtmlNode param = NewElement("param");
    param.AddAttribute("name", name);
    param.AddAttribute("value", value);
    object.AppendChild(param);
}

// An item "li" holding an "object" of the sitemap type with the parameters.
void AppendItem(CHtmlNode& parentList, CHtmlNode& item,
                std::initializer_list<std::pair<std::string, std::string>> params) {
    item = NewElement("li");
    CHtmlNode object = NewElement("object");
    object.AddAttribute("type", "text/sitemap");
    for (const auto& [name, value] : params) {
        AppendParam(object, name, value);
    }
    item.AppendChild(object);
    parentList.AppendChild(item);
}

// The trimmed title of the page; empty when it has none or cannot be read.
std::string ReadPageTitle(const std::string& path) {
    try {
        CFileStream stream;
        CHtmlDocument page;
        if (!stream.Open(path, CFileStream::modeRead, false, kFileBufferSize) ||
            !page.Load(stream)) {
            return {};
        }
        return page.GetTitle();
    } catch (const CStreamException&) {
        return {};
    }
}

// The document's list, in a new page whose head holds the sitemap comment.
CHtmlNode StartSitemap(CHtmlDocument& document) {
    if (!document.CreateNew()) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    CHtmlNode list = NewElement("ul");
    document.GetBody().AppendChild(list);
    if (!document.GetHead().AppendComment(" Sitemap 1.0 ")) {
        ThrowHtmlException(ERR_HTML_ADD_NODE);
    }
    return list;
}

void SaveDocument(CHtmlDocument& document, const CFilePath& file) {
    CFileStream stream;
    if (!stream.Open(file.GetFullPath(), CFileStream::modeWriteCreate, false, kFileBufferSize)) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    if (!document.Save(stream)) {
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
    stream.Close();
}

}  // namespace

void CChmBuilder::RequestStop() {
    m_stop.Request();
}

void CChmBuilder::CheckStop() {
    m_stop.ThrowIfRequested<CStopped>();
}

ResultCode CChmBuilder::Build() {
    m_stop.Clear();
    try {
        return RunPhases();
    } catch (const CStopped&) {
        return ERR_CHM_STOPPED;
    } catch (const CException& exception) {
        return exception.GetCode();
    } catch (const std::system_error& error) {
        return static_cast<ResultCode>(error.code().value());
    } catch (const std::bad_alloc&) {
        return ERR_NOT_ENOUGH_MEMORY;
    }
}

ResultCode CChmBuilder::RunPhases() {
    ReportBegin(0, kChmPhaseCount);
    const std::size_t fileCount = CountFiles(m_sourceFolder.GetFolderPath());
    if (fileCount == 0) {
        ReportEnd(ERR_CHM_NO_FILES, kChmPhaseCount);
        return ERR_CHM_NO_FILES;
    }
    ReportEnd(ERR_SUCCESS, kChmPhaseCount);

    ReportBegin(fileCount, kChmPhaseWrite);
    m_extraFiles.clear();
    WriteSitemaps();
    WriteProject();
    ReportEnd(ERR_SUCCESS, kChmPhaseWrite);

    ReportBegin(fileCount + 3, kChmPhaseCompile);
    const ResultCode result = Compile();
    ReportEnd(result, kChmPhaseCompile);
    return result;
}

ResultCode CChmBuilder::Compile() {
    CheckStop();
    m_previousProgressText.clear();
    const ResultCode result = CompileHtmlHelpProject(
        m_projectFile, [this](const std::string& text) { return OnCompilerProgress(text); });
    // The compiler fails when it is stopped; that is a cancelled build, not
    // a compilation error to report.
    if (result != ERR_SUCCESS) {
        CheckStop();
    }
    return result;
}

int CChmBuilder::OnCompilerProgress(const std::string& text) {
    if (text.empty() && ReportsCompilerStep(m_previousProgressText)) {
        ReportStep(0, kChmPhaseCompile);
    }
    m_previousProgressText = text;
    return m_stop.IsRequested() ? 0 : 1;
}

void CChmBuilder::AddFolderEntry(CHtmlNode& parentList, const std::string& folderName,
                                 CHtmlNode& item) {
    AppendItem(parentList, item, {{"Name", folderName}});
}

void CChmBuilder::AddTopicEntry(CHtmlNode& parentList, const std::string& title,
                                const std::string& local) {
    CHtmlNode item;
    AppendItem(parentList, item, {{"Name", title}, {"Local", local}});
}

void CChmBuilder::AddIndexEntry(CHtmlNode& parentList, const std::string& keyword,
                                const std::string& local) {
    CHtmlNode item;
    AppendItem(parentList, item, {{"Keyword", keyword}, {"Local", local}});
}

std::size_t CChmBuilder::CountFiles(const std::string& folder) {
    const std::string prefix = WithSeparator(folder);
    std::size_t count = 0;
    for (const CFolderEntry& entry : ListFolder(prefix)) {
        CheckStop();
        count += entry.isFolder ? CountFiles(prefix + entry.name) : 1;
    }
    return count;
}

bool CChmBuilder::AddFolder(const std::string& folder, CHtmlNode& contentsList,
                            CHtmlNode& indexList) {
    const std::string prefix = WithSeparator(folder);
    bool empty = true;
    for (const CFolderEntry& entry : ListFolder(prefix)) {
        CheckStop();
        const std::string path = prefix + entry.name;
        if (entry.isFolder) {
            CHtmlNode item;
            AddFolderEntry(contentsList, NameAsText(entry.name), item);
            CHtmlNode nestedList = NewElement("ul");
            contentsList.AppendChild(nestedList);
            if (AddFolder(path, nestedList, indexList)) {
                item.Unlink();
                nestedList.Unlink();
            } else {
                empty = false;
            }
            continue;
        }
        if (IsPage(entry.name)) {
            AddPage(path, entry.name, contentsList, indexList);
            empty = false;
        } else if (HasExtension(entry.name, ".swf") && !HasLineEnd(path)) {
            // A name that a web site chose could otherwise add lines of
            // its own to the project file.
            m_extraFiles.push_back(path);
        }
        ReportStep(0, kChmPhaseWrite);
    }
    return empty;
}

void CChmBuilder::AddPage(const std::string& path, const std::string& name, CHtmlNode& contentsList,
                          CHtmlNode& indexList) {
    std::string title = ReadPageTitle(path);
    if (title.empty()) {
        title = NameAsText(CFilePath(name).GetTitle());
    }
    const std::string local =
        BytesAsLatin1(ToSlashes(CFilePath(path).MakeRelativeTo(m_contentsFile).GetFullPath()));
    AddTopicEntry(contentsList, title, local);
    AddIndexEntry(indexList, title, local);
}

void CChmBuilder::WriteSitemaps() {
    CHtmlDocument contents;
    CHtmlDocument index;
    {
        // The lists are handles into the trees, so they go before the trees.
        CHtmlNode contentsList = StartSitemap(contents);
        CHtmlNode indexList = StartSitemap(index);
        AddFolder(m_sourceFolder.GetFolderPath(), contentsList, indexList);
    }
    SaveDocument(contents, m_contentsFile);
    SaveDocument(index, m_indexFile);
}

void CChmBuilder::WriteProject() {
    CheckStop();
    const std::string text = BuildProjectText();
    CFileStream stream;
    if (!stream.Open(m_projectFile.GetFullPath(), CFileStream::modeWriteCreate, false,
                     kFileBufferSize)) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    stream.Write(text.data(), text.size());
    stream.Close();
}

std::string CChmBuilder::BuildProjectText() const {
    const std::string topic = m_defaultTopic.MakeRelativeTo(m_projectFile).GetFullPath();
    char language[16];
    std::snprintf(language, sizeof language, "0x%x", kLanguage);

    std::vector<std::string_view> values = {m_compiledFile.GetFullPath(),
                                            m_contentsFile.GetFullPath(),
                                            m_indexFile.GetFullPath(),
                                            topic,
                                            m_title,
                                            m_defaultTopic.GetFullPath()};
    values.insert(values.end(), m_extraFiles.begin(), m_extraFiles.end());
    if (std::any_of(values.begin(), values.end(), HasLineEnd)) {
        ThrowStreamException(ERR_STREAM_DATA);
    }

    std::string text =
        "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + m_compiledFile.GetFullPath() +
        "\r\nContents file=" + m_contentsFile.GetFullPath() +
        "\r\nIndex file=" + m_indexFile.GetFullPath() + "\r\nDefault topic=" + topic +
        "\r\nDisplay compile progress=Yes\r\nLanguage=" + language;
    if (!m_title.empty()) {
        text += "\r\nTitle=" + m_title;
    }
    text += "\r\n\r\n";
    text += "[FILES]\r\n" + m_defaultTopic.GetFullPath();
    for (const std::string& file : m_extraFiles) {
        text += "\r\n" + file;
    }
    return text;
}

void CChmBuilder::ReportBegin(WPARAM range, LPARAM phase) {
    if (m_reportWindow != nullptr) {
        SendMessage(m_reportWindow, WM_CHM_BEGIN, range, phase);
    }
}

void CChmBuilder::ReportStep(WPARAM /*ignored*/, LPARAM phase) {
    if (m_reportWindow != nullptr) {
        PostMessage(m_reportWindow, WM_CHM_STEP, 0, phase);
    }
}

void CChmBuilder::ReportEnd(WPARAM result, LPARAM phase) {
    if (m_reportWindow != nullptr) {
        PostMessage(m_reportWindow, WM_CHM_END, result, phase);
    }
}
