#include "html/html_document.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/parserInternals.h>
#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "base/stream.h"
#include "html/html_charset.h"
#include "html/html_library.h"

namespace {

// Parse errors are neither reported nor collected: the parser recovers. The
// library's limits (256 levels of nesting, say) would otherwise stop it in
// the middle of a real page and keep only what came before. A document type
// the page does not have would change how browsers render it.
constexpr int kParseOptions = HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | XML_PARSE_HUGE |
                              HTML_PARSE_NODEFDTD | HTML_PARSE_COMPACT;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

struct ParserDeleter {
    void operator()(htmlParserCtxt* parser) const { htmlFreeParserCtxt(parser); }
};
using ParserPtr = std::unique_ptr<htmlParserCtxt, ParserDeleter>;

// Hands the stream to the parser one chunk at a time. An exception must not
// cross the library's C frames, so the read callback keeps it until the
// parse is over.
class CChunkReader {
public:
    explicit CChunkReader(CStream& stream)
        : m_stream(stream), m_chunk(CHtmlDocument::kLoadChunkSize) {}

    // Stops the parse, by failing the next read, once the parser has met a
    // tag of more attributes than the page may hold.
    void Watch(const htmlParserCtxt* parser) { m_parser = parser; }
    bool IsTooCrowded() const { return m_parser != nullptr && IsTooCrowded(*m_parser); }

    // Reads the next chunk; false at the end of the stream.
    bool ReadChunk() {
        m_offset = 0;
        m_length = m_stream.Read(m_chunk.data(), m_chunk.size());
        m_totalRead += m_length;
        return m_length > 0;
    }
    bool IsChunkFull() const { return m_length == m_chunk.size(); }
    std::size_t GetTotalRead() const { return m_totalRead; }
    std::string_view Unread() const { return {m_chunk.data() + m_offset, m_length - m_offset}; }
    void Skip(std::size_t count) { m_offset += count; }

    static int Read(void* context, char* buffer, int length) {
        return static_cast<CChunkReader*>(context)->Fill(buffer, static_cast<std::size_t>(length));
    }
    void RethrowFailure() const {
        if (m_failure) {
            std::rethrow_exception(m_failure);
        }
    }

private:
    // Fills the whole buffer unless the stream ends: the parser looks ahead
    // only as far as one read reaches.
    int Fill(char* buffer, std::size_t length) {
        if (IsTooCrowded()) {
            return -1;
        }
        std::size_t filled = 0;
        try {
            while (filled < length && (!Unread().empty() || ReadChunk())) {
                const std::size_t count = std::min(length - filled, Unread().size());
                std::memcpy(buffer + filled, Unread().data(), count);
                Skip(count);
                filled += count;
            }
        } catch (...) {
            m_failure = std::current_exception();
            return -1;
        }
        return static_cast<int>(filled);
    }

    // The library checks each attribute of a tag against every one before
    // it, and appends each to the element by walking its list: the work
    // grows with the square of a tag's attributes. The parser's room for
    // them, two entries each, grows by doubling, so a tag of more than the
    // limit always stops the parse and one of less than half of it never does.
    static bool IsTooCrowded(const htmlParserCtxt& parser) {
        return parser.maxatts > 2 * CHtmlDocument::kMaxTagAttributes;
    }

    CStream& m_stream;
    const htmlParserCtxt* m_parser = nullptr;
    std::vector<char> m_chunk;
    std::size_t m_offset = 0;
    std::size_t m_length = 0;
    std::size_t m_totalRead = 0;
    std::exception_ptr m_failure;
};

// Makes a parser that reads from reader and starts in the given encoding,
// or keeps to the forced one (which the page's markup cannot change); null
// when the library cannot allocate it.
ParserPtr CreateParser(CChunkReader& reader, xmlCharEncoding encoding,
                       xmlCharEncodingHandler* forced) {
    // The parser owns the handler once it switched to it.
    const auto closeForced = [forced] {
        if (forced != nullptr) {
            xmlCharEncCloseFunc(forced);
        }
    };
    ParserPtr parser(htmlNewParserCtxt());
    if (!parser) {
        closeForced();
        return nullptr;
    }
    htmlCtxtUseOptions(parser.get(),
                       kParseOptions | (forced != nullptr ? HTML_PARSE_IGNORE_ENC : 0));
    xmlParserInputBuffer* buffer =
        xmlParserInputBufferCreateIO(CChunkReader::Read, nullptr, &reader, encoding);
    if (buffer == nullptr) {
        closeForced();
        return nullptr;
    }
    xmlParserInput* input = xmlNewIOInputStream(parser.get(), buffer, XML_CHAR_ENCODING_NONE);
    if (input == nullptr) {
        xmlFreeParserInputBuffer(buffer);
        closeForced();
        return nullptr;
    }
    inputPush(parser.get(), input);
    if (forced != nullptr) {
        xmlSwitchToEncoding(parser.get(), forced);
    } else if (encoding != XML_CHAR_ENCODING_NONE) {
        // The buffer hands the parser UTF-8 now; without this the parser
        // would still guess at the first byte beyond ASCII.
        parser->charset = XML_CHAR_ENCODING_UTF8;
    }
    return parser;
}

// The output buffer's view of the stream; like CChunkReader, it keeps an
// exception until the buffer is closed.
struct StreamSink {
    CStream& stream;
    std::exception_ptr failure;
};

int WriteToStream(void* context, const char* buffer, int length) {
    auto& sink = *static_cast<StreamSink*>(context);
    try {
        const auto wanted = static_cast<std::size_t>(length);
        return sink.stream.Write(buffer, wanted) == wanted ? length : -1;
    } catch (...) {
        sink.failure = std::current_exception();
        return -1;
    }
}

bool IsDocumentNode(const xmlNode* node) {
    return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
}

// The node that follows node's subtree in document order, not leaving the
// document's top level.
xmlNode* NextAfterSubtree(xmlNode* node) {
    for (; node != nullptr && !IsDocumentNode(node); node = node->parent) {
        if (node->next != nullptr) {
            return node->next;
        }
    }
    return nullptr;
}

xmlNode* NextInPreOrder(xmlNode* node) {
    if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
        return node->children;
    }
    return NextAfterSubtree(node);
}

// The encoding a page was read in: what its markup declared, when the library
// can write it, else what its first bytes showed.
std::string ReadEncoding(const xmlDoc& document, const html_charset::PageStart& start) {
    const auto* declared = reinterpret_cast<const char*>(document.encoding);
    if (declared != nullptr) {
        // A handler of a character set beyond the library's own is made for
        // each call and must be closed again.
        if (xmlCharEncodingHandler* handler = xmlFindCharEncodingHandler(declared)) {
            xmlCharEncCloseFunc(handler);
            return html_charset::DeclaredEncoding(declared);
        }
    }
    if (start.encoding != XML_CHAR_ENCODING_NONE) {
        return "UTF-8";
    }
    return CHtmlDocument::kFallbackEncoding;
}

}  // namespace

void CHtmlDocument::DocumentDeleter::operator()(xmlDoc* document) const {
    xmlFreeDoc(document);
}

CHtmlDocument::CHtmlDocument() {
    CHtmlLibrary::Initialize();
}

CHtmlDocument::~CHtmlDocument() {
    Unload();
}

void CHtmlDocument::Unload() {
    m_document.reset();
    // The tree of a big page leaves its thread's malloc arena full of free
    // memory that no other thread reuses; without this every worker (and
    // the rewriting pass) would keep the biggest tree it ever built.
    if (std::exchange(m_loadedBytes, 0) >= kTrimAfterBytes) {
        ::malloc_trim(0);
    }
}

bool CHtmlDocument::Load(CStream& stream, const char* encoding) {
    Unload();
    CChunkReader reader(stream);
    if (!reader.ReadChunk()) {
        return false;
    }
    const html_charset::PageStart start =
        html_charset::InspectPageStart(reader.Unread(), reader.IsChunkFull());
    reader.Skip(start.markLength);
    xmlCharEncodingHandler* forced = start.markLength == 0 && encoding != nullptr
                                         ? xmlFindCharEncodingHandler(encoding)
                                         : nullptr;
    ParserPtr parser = CreateParser(reader, start.encoding, forced);
    if (!parser) {
        throw std::bad_alloc();
    }
    reader.Watch(parser.get());
    htmlParseDocument(parser.get());
    m_loadedBytes = reader.GetTotalRead();
    std::unique_ptr<xmlDoc, DocumentDeleter> document(std::exchange(parser->myDoc, nullptr));
    reader.RethrowFailure();
    // The parser halts, keeping the tree built so far, when memory runs out
    // or a limit is hit; a page cut short that way must not pass for whole.
    if (parser->errNo == XML_ERR_NO_MEMORY) {
        throw std::bad_alloc();
    }
    if (parser->disableSAX != 0 || reader.IsTooCrowded()) {
        return false;
    }
    // Bytes that are no text of a forced encoding end the parse quietly,
    // and the rest of the page would be missing from the tree.
    if (forced != nullptr && parser->input != nullptr && parser->input->buf != nullptr &&
        parser->input->buf->error != 0) {
        return false;
    }
    if (!document) {
        return false;
    }
    m_encoding = forced != nullptr ? encoding : ReadEncoding(*document, start);
    m_byteOrderMark = start.markLength > 0;
    m_formatted = false;
    m_document.reset(document.release());
    return true;
}

bool CHtmlDocument::CreateNew() {
    m_encoding = kFallbackEncoding;
    m_byteOrderMark = false;
    m_formatted = true;
    m_document.reset(htmlNewDoc(nullptr, nullptr));
    if (!m_document) {
        return false;
    }
    xmlNode* html = xmlNewDocNode(m_document.get(), nullptr, BAD_CAST "html", nullptr);
    if (html == nullptr) {
        m_document.reset();
        return false;
    }
    xmlDocSetRootElement(m_document.get(), html);
    for (const char* name : {"head", "body"}) {
        xmlNode* element = xmlNewDocNode(m_document.get(), nullptr, BAD_CAST name, nullptr);
        if (element == nullptr) {
            m_document.reset();
            return false;
        }
        xmlAddChild(html, element);
    }
    return true;
}

bool CHtmlDocument::Save(CStream& stream) {
    if (!m_document) {
        return false;
    }
    PrepareForSaving();
    StreamSink sink{stream, nullptr};
    xmlCharEncodingHandler* encoder = xmlFindCharEncodingHandler(m_encoding.c_str());
    xmlOutputBuffer* output = xmlOutputBufferCreateIO(WriteToStream, nullptr, &sink, encoder);
    if (output == nullptr) {
        if (encoder != nullptr) {
            xmlCharEncCloseFunc(encoder);
        }
        return false;
    }
    if (m_byteOrderMark) {
        xmlOutputBufferWrite(output, static_cast<int>(kUtf8Mark.size()), kUtf8Mark.data());
    }
    // A loaded page gets no line breaks that it did not have: they would
    // change its text.
    htmlDocContentDumpFormatOutput(output, m_document.get(), m_encoding.c_str(),
                                   m_formatted ? 1 : 0);
    const bool outOfMemory = output->error == XML_ERR_NO_MEMORY;
    const bool written = xmlOutputBufferClose(output) >= 0;
    if (sink.failure) {
        std::rethrow_exception(sink.failure);
    }
    if (outOfMemory) {
        throw std::bad_alloc();
    }
    return written;
}

// Every node of the document, those beside the root element included, in
// one walk: a big page's tree is worth visiting once per save, not twice.
void CHtmlDocument::PrepareForSaving() {
    for (xmlNode* node = m_document->children; node != nullptr; node = NextInPreOrder(node)) {
        html_charset::RepairText(node);
        if (node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, BAD_CAST "meta") == 0) {
            CHtmlNode meta(node);
            html_charset::Redeclare(meta, m_encoding);
        }
    }
}

CHtmlNode CHtmlDocument::GetRoot() const {
    return CHtmlNode(m_document ? xmlDocGetRootElement(m_document.get()) : nullptr);
}

CHtmlNode CHtmlDocument::GetHead() const {
    return GetRoot().FindChild("head");
}

CHtmlNode CHtmlDocument::GetBody() const {
    return GetRoot().FindChild("body");
}

std::string CHtmlDocument::GetTitle() const {
    return TrimHtmlWhiteSpace(GetHead().FindChild("title").GetContent());
}

std::optional<std::string> CHtmlDocument::GetBaseHref() const {
    for (xmlNode* node = GetRoot().m_node; node != nullptr; node = NextInPreOrder(node)) {
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST "base") &&
            xmlHasProp(node, BAD_CAST "href") != nullptr) {
            return CHtmlNode(node).GetAttribute("href");
        }
    }
    return std::nullopt;
}

void CHtmlDocument::Walk() {
    xmlNode* node = GetRoot().m_node;
    while (node != nullptr) {
        xmlNode* const next = node->next;
        xmlNode* const parent = node->parent;
        CHtmlNode current(node);
        OnNode(current);
        // Unlinked by OnNode: its subtree has left the document, and the
        // walk goes on where it would have gone after it.
        if (node->parent != nullptr) {
            node = NextInPreOrder(node);
        } else {
            node = next != nullptr ? next : NextAfterSubtree(parent);
        }
    }
}

void CHtmlDocument::OnNode(CHtmlNode& /*node*/) {}
