#include "html/html_document.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "base/file_stream.h"
#include "support/temp_folder.h"
#include "support/thrown_code.h"
#include "support/xml_allocation_limit.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Pages go through files, as they do in a crawl.
bool LoadPage(CHtmlDocument& document, const std::string& page) {
    TempFolder folder;
    WriteFile(folder.File("page.html"), page);
    CFileStream stream;
    stream.Open(folder.File("page.html"), CFileStream::modeRead);
    return document.Load(stream);
}

std::string SavePage(CHtmlDocument& document) {
    TempFolder folder;
    CFileStream stream;
    stream.Open(folder.File("saved.html"), CFileStream::modeWriteCreate);
    EXPECT_TRUE(document.Save(stream));
    stream.Close();
    return ReadFile(folder.File("saved.html"));
}

class CNodeRecorder : public CHtmlDocument {
public:
    std::vector<std::string> names;

protected:
    void OnNode(CHtmlNode& node) override { names.push_back(node.GetNodeName()); }
};

// A stream that fails the way a broken disk does, or takes only part of
// what it is given.
class CBrokenStream : public CStream {
public:
    enum Fault { kWriteThrows, kWriteFallsShort, kSecondReadThrows };

    explicit CBrokenStream(Fault fault) : m_fault(fault) {}
    std::size_t Read(void* buffer, std::size_t count) override {
        if (m_fault != kSecondReadThrows) {
            return 0;
        }
        if (m_reads++ > 0) {
            ThrowStreamException(ERR_FILE_STREAM_READ);
        }
        std::memset(buffer, 'x', count);
        std::memcpy(buffer, "<p>", 3);
        return count;
    }
    std::size_t Write(const void*, std::size_t count) override {
        if (m_fault == kWriteThrows) {
            ThrowStreamException(ERR_FILE_STREAM_WRITE);
        }
        return count / 2;
    }
    bool ReadByte(std::uint8_t&) override { return false; }
    bool WriteByte(std::uint8_t) override { return false; }
    bool Seek(std::int64_t, int) override { return false; }
    std::int64_t GetPosition() override { return 0; }
    void Flush() override {}
    std::int64_t GetLength() override { return 0; }
    void SetLength(std::int64_t) override {}

private:
    Fault m_fault;
    int m_reads = 0;
};

constexpr auto& StreamErrorOf = testing_support::CodeOf<CStreamException>;

TEST(HtmlDocumentTest, EmptyFileYieldsNoTree) {
    CNodeRecorder document;
    EXPECT_FALSE(LoadPage(document, ""));
    EXPECT_FALSE(document.GetRoot().IsValid());
    EXPECT_EQ(document.GetTitle(), "");
    document.Walk();
    EXPECT_TRUE(document.names.empty());
    CBrokenStream stream(CBrokenStream::kWriteThrows);
    EXPECT_FALSE(document.Save(stream));
}

TEST(HtmlDocumentTest, MalformedPagesLoadWalkAndSaveAgain) {
    const struct {
        const char* label;
        std::string page;
        std::string keptText;
    } cases[] = {
        {"unclosed tags", "<html><body><div><p>one<p>two<table><tr><td>cell", "cell"},
        {"stray end tags first", "</p></div></html>text<b>bold</i>", "bold"},
        {"content after the end", "<html><body>x</body></html><a href=kept>link</a>", "link"},
        {"garbage bytes", "\x89PNG\r\n\x1a\n\xff\xfe\x01<<>>&&#;&#xFFFFFFFF;<!--<?x", ""},
        {"NUL bytes", std::string("<p>before\0after</p>\0\0<x", 23), "after"},
        {"huge attribute", "<a href=\"" + std::string(1 << 20, 'x') + "\">link</a>", "link"},
        {"deep nesting",
         [] {
             std::string page;
             for (int i = 0; i < 20000; ++i)
                 page += "<div>";
             return page + "deep";
         }(),
         ""},
        {"lone bracket", "<", ""},
        {"only a comment", "<!-- c -->", ""},
        {"UTF-8 character across the first chunk's end",
         std::string(CHtmlDocument::kLoadChunkSize - 1, ' ') + "\xC3\xBC<p>end</p>", "\xC3\xBC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CNodeRecorder document;
        ASSERT_TRUE(LoadPage(document, c.page));
        document.Walk();
        EXPECT_NE(document.GetRoot().GetContent().find(c.keptText), std::string::npos);
        const std::string saved = SavePage(document);
        CHtmlDocument again;
        EXPECT_TRUE(LoadPage(again, saved));
    }
}

TEST(HtmlDocumentTest, TitleIsTrimmedTextOfTheHeadsTitle) {
    const struct {
        const char* page;
        const char* title;
    } cases[] = {
        {"<html><head><title> \t Two\t words \r\n</title></head></html>", "Two\t words"},
        {"<HTML><HEAD><TITLE>Upper</TITLE></HEAD><BODY>x</BODY></HTML>", "Upper"},
        {"<html><body><p>no head</p></body></html>", ""},
        {"<html><head><meta name=a content=b></head><body>x</body></html>", ""},
        {"<title> \n\t </title>", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        CHtmlDocument document;
        ASSERT_TRUE(LoadPage(document, c.page));
        EXPECT_EQ(document.GetTitle(), c.title);
    }
    CHtmlDocument upper;
    LoadPage(upper, cases[1].page);
    EXPECT_EQ(upper.GetBody().GetContent(), "x");
}

TEST(HtmlDocumentTest, WalkVisitsEveryNodeFromTheRootInPreOrder) {
    CNodeRecorder document;
    LoadPage(document,
             "<!DOCTYPE html><!--before--><html><head><title>T</title></head>"
             "<body><p>a<b>b</b></p><!--c--></body></html><!--after-->");
    document.Walk();
    const std::vector<std::string> expected = {"html", "head", "title", "text",    "body",   "p",
                                               "text", "b",    "text",  "comment", "comment"};
    EXPECT_EQ(document.names, expected);
}

// Adds an item to every list and drops every script, the way a rewriting
// visitor edits the page it walks.
class CEditingWalker : public CNodeRecorder {
protected:
    void OnNode(CHtmlNode& node) override {
        CNodeRecorder::OnNode(node);
        if (node.GetNodeName() == "ul") {
            CHtmlNode item;
            item.CreateElement("li");
            node.AppendChild(item);
        } else if (node.GetNodeName() == "script") {
            node.Unlink();
        }
    }
};

TEST(HtmlDocumentTest, WalkFollowsChildrenAddedOnTheWayAndSkipsUnlinkedNodes) {
    CEditingWalker document;
    LoadPage(document, "<body><ul></ul><script>x()</script><p>after</p></body>");
    document.Walk();
    const std::vector<std::string> expected = {"html", "body", "ul", "li", "script", "p", "text"};
    EXPECT_EQ(document.names, expected);
    const std::string saved = SavePage(document);
    EXPECT_NE(saved.find("<ul><li></ul>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("script"), std::string::npos) << saved;
}

TEST(HtmlDocumentTest, CreateNewBuildsAPageThatSavesAndLoadsBack) {
    CHtmlDocument document;
    ASSERT_TRUE(document.CreateNew());
    document.GetHead().AppendComment(" Sitemap 1.0 ");
    CHtmlNode list;
    list.CreateElement("ul");
    document.GetBody().AppendChild(list);
    CHtmlNode param;
    param.CreateElement("param");
    param.AddAttribute("name", "Name");
    param.AddAttribute("value", "Fish & Chips \xC3\xA0 la \xE2\x82\xAC");
    list.AppendChild(param);

    const std::string saved = SavePage(document);
    EXPECT_EQ(saved.rfind("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\"", 0),
              0u);
    EXPECT_NE(saved.find("<head><!-- Sitemap 1.0 --></head>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("charset"), std::string::npos) << saved;

    CHtmlDocument again;
    ASSERT_TRUE(LoadPage(again, saved));
    EXPECT_EQ(again.GetBody().FindChild("ul").FindChild("param").GetAttribute("value"),
              "Fish & Chips \xC3\xA0 la \xE2\x82\xAC");
}

// Every character set that saved bytes declare, as a browser finds them.
std::vector<std::string> DeclaredCharsets(const std::string& bytes) {
    std::vector<std::string> charsets;
    for (auto at = bytes.find("charset="); at != std::string::npos;
         at = bytes.find("charset=", at + 1)) {
        const auto start = bytes.find_first_not_of("\"'", at + 8);
        charsets.push_back(bytes.substr(start, bytes.find_first_of("\"'; >", start) - start));
    }
    return charsets;
}

std::string Utf16Le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

TEST(HtmlDocumentTest, PagesAreSavedInTheEncodingTheyWereReadIn) {
    const std::string greek = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC";
    const std::string mixed =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xD0\x9F\xD1\x80\xD0\xB8 \xE6\x97\xA5 \xE2\x82\xAC";
    const std::string body =
        "<body><p title=\"" + greek + "\">caf\xC3\xA9 " + greek + "</p></body>";
    const struct {
        const char* label;
        std::string page;
        std::string title;
        std::string encoding;
    } cases[] = {
        {"meta charset", "<head><meta charset=\"utf-8\"><title>" + mixed + "</title></head>" + body,
         mixed, "utf-8"},
        {"http-equiv",
         "<head><meta http-equiv=Content-Type content='text/html; charset=UTF-8'>"
         "<title>" +
             mixed + "</title></head>" + body,
         mixed, "UTF-8"},
        {"declared after the title",
         "<head><title>" + mixed + "</title><meta charset=utf-8></head>" + body, mixed, "utf-8"},
        {"byte-order mark",
         "\xEF\xBB\xBF<head><meta charset=utf-8><title>" + mixed + "</title></head>" + body, mixed,
         "utf-8"},
        {"undeclared UTF-8", "<head><title>" + mixed + "</title></head>" + body, mixed, "UTF-8"},
        {"windows-1251", "<head><meta charset=windows-1251><title>\xCF\xF0\xE8</title></head>",
         "\xD0\x9F\xD1\x80\xD0\xB8", "windows-1251"},
        {"ISO-8859-1",
         "<head><meta http-equiv=content-type content=\"text/html;charset=latin1\">"
         "<title>Gr\xFC\xDF"
         "e</title></head>",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "latin1"},
        {"undeclared ISO-8859-1",
         "<title>Gr\xFC\xDF"
         "e</title>",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         "ISO-8859-1"},
        {"UTF-16", Utf16Le(u"<head><title>\u041F\u0440\u0438</title></head>"),
         "\xD0\x9F\xD1\x80\xD0\xB8", "UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CHtmlDocument document;
        ASSERT_TRUE(LoadPage(document, c.page));
        EXPECT_EQ(document.GetTitle(), c.title);
        const std::string saved = SavePage(document);

        EXPECT_EQ(document.GetEncoding(), c.encoding);
        // A declaration names the encoding the page was read in, so it stays.
        EXPECT_EQ(DeclaredCharsets(saved), DeclaredCharsets(c.page)) << saved;
        CHtmlDocument again;
        ASSERT_TRUE(LoadPage(again, saved));
        EXPECT_EQ(again.GetTitle(), c.title) << saved;
        EXPECT_EQ(again.GetBody().GetContent(), document.GetBody().GetContent());
        EXPECT_EQ(again.GetBody().FindChild("p").GetAttribute("title"),
                  document.GetBody().FindChild("p").GetAttribute("title"));
    }
}

// A declaration read in ASCII bytes cannot make a page UTF-16: browsers
// read such a page as UTF-8, whatever label of UTF-16 it names. It used to
// be decoded as UTF-16, or saved in it with the byte-order mark twice.
TEST(HtmlDocumentTest, AMetaThatDeclaresUtf16IsReadAsUtf8) {
    const std::string text = "caf\xC3\xA9";
    const std::string metas[] = {
        "<meta charset=utf-16>",
        "<meta charset=\"UTF-16LE\">",
        "<meta http-equiv=content-type content='text/html; charset=utf-16be'>",
        "<meta charset=unicode>",
        "<meta charset=csunicode>",
    };
    for (const std::string& meta : metas) {
        SCOPED_TRACE(meta);
        CHtmlDocument document;
        ASSERT_TRUE(LoadPage(document, "<head>" + meta + "<title>" + text + "</title></head>"));
        EXPECT_EQ(document.GetTitle(), text);
        const std::string saved = SavePage(document);
        EXPECT_EQ(document.GetEncoding(), "UTF-8");
        EXPECT_EQ(DeclaredCharsets(saved), std::vector<std::string>{"UTF-8"}) << saved;
        EXPECT_NE(saved.find("<title>" + text + "</title>"), std::string::npos) << saved;
    }
    // A byte-order mark does make it UTF-16, and is written once, for UTF-8.
    CHtmlDocument document;
    ASSERT_TRUE(
        LoadPage(document, Utf16Le(u"<meta charset=utf-16be><title>\u041F\u0440\u0438</title>")));
    EXPECT_EQ(document.GetTitle(), "\xD0\x9F\xD1\x80\xD0\xB8");
    const std::string saved = SavePage(document);
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBF<html><head><meta charset=\"UTF-8\">", 0), 0u) << saved;
}

TEST(HtmlDocumentTest, OnlyDeclarationsOfAnotherCharsetAreRewritten) {
    CHtmlDocument document;
    LoadPage(document,
             "<head><meta charset=utf-8><meta http-equiv=Content-Type content='text/html; "
             "charset=iso-8859-1'><meta http-equiv=content-type content=text/html>"
             "<meta name=description content='charset=utf-8 explained'></head>");
    const std::string saved = SavePage(document);
    EXPECT_NE(saved.find("<meta charset=\"utf-8\">"), std::string::npos) << saved;
    EXPECT_NE(saved.find("content=\"text/html; charset=utf-8\""), std::string::npos);
    EXPECT_NE(saved.find("content=\"text/html\""), std::string::npos);
    EXPECT_NE(saved.find("content=\"charset=utf-8 explained\""), std::string::npos);
}

// The parser lets such bytes through after an "&"; the serialiser used to
// stop at them, after it had written the page up to there.
TEST(HtmlDocumentTest, BytesThatAreNoUtf8AreReadAsLatin1) {
    const std::string text(100000, 'x');
    CHtmlDocument document;
    ASSERT_TRUE(LoadPage(document, "<meta charset=utf-8><p>" + text + "</p><p>&\xBC</p>"));
    const std::string saved = SavePage(document);
    CHtmlDocument again;
    ASSERT_TRUE(LoadPage(again, saved));
    EXPECT_EQ(again.GetBody().FindChild("p").GetContent(), text);
    EXPECT_NE(saved.find("<p>&amp;\xC2\xBC</p>"), std::string::npos);
}

// libxml2 reads a continuation byte as the start of a character, so such
// bytes in a value set by the program (a link resolved against a URL with
// raw bytes) passed for UTF-8 and the save stopped at them.
TEST(HtmlDocumentTest, MalformedUtf8InAttributesIsReadAsLatin1) {
    const struct {
        std::string value;
        std::string saved;
    } cases[] = {
        {"HTTP://\x80\x80/B", "HTTP://\xC2\x80\xC2\x80/B"},
        {"a\xC0\x80", "a\xC3\x80\xC2\x80"},
        {"\xED\xA0\x80z", "\xC3\xAD\xC2\xA0\xC2\x80z"},
    };
    for (const auto& c : cases) {
        CHtmlDocument document;
        ASSERT_TRUE(LoadPage(document, "<p>first</p><p>last</p>"));
        document.GetBody().FindChild("p").SetAttribute("title", c.value);
        const std::string saved = SavePage(document);
        EXPECT_NE(saved.find("title=\"" + c.saved + "\""), std::string::npos) << saved;
        EXPECT_NE(saved.find("<p>last</p>"), std::string::npos) << saved;
    }
}

// Browsers decode no character references in scripts and styles, and a
// document type switches their rendering mode: a page written in the
// library's own form comes back byte for byte.
TEST(HtmlDocumentTest, PagesInTheLibrarysFormSaveByteForByte) {
    const std::string utf8Text = "\xCE\x95\xCE\xBB \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::string pages[] = {
        "<html><head><meta charset=\"utf-8\"><style>p::before { content: \"" + utf8Text +
            "\"; }</style><script>var s = \"" + utf8Text + "\";</script></head><body><p title=\"" +
            utf8Text + "\">" + utf8Text + "</p></body></html>\n",
        "<html><body><p>" + utf8Text + "</p></body></html>\n",
        "<!DOCTYPE html>\n<html><body><p>x</p></body></html>\n",
        "<html><head><meta charset=\"windows-1251\"><script>var s = \"\xCF\xF0\xE8\";</script>"
        "</head><body><p>\xCF\xF0\xE8</p></body></html>\n",
        "\xEF\xBB\xBF<html><body><p>" + utf8Text + "</p></body></html>\n",
    };
    for (const std::string& page : pages) {
        CHtmlDocument document;
        ASSERT_TRUE(LoadPage(document, page));
        EXPECT_EQ(SavePage(document), page);
    }
}

TEST(HtmlDocumentTest, StreamFailuresAreReported) {
    for (const std::size_t size : {std::size_t{10}, std::size_t{100000}}) {
        CHtmlDocument document;
        LoadPage(document, "<p>" + std::string(size, 'x') + "</p>");
        CBrokenStream throwing(CBrokenStream::kWriteThrows);
        EXPECT_EQ(StreamErrorOf([&] { document.Save(throwing); }), ERR_FILE_STREAM_WRITE);
        CBrokenStream shortWrites(CBrokenStream::kWriteFallsShort);
        EXPECT_FALSE(document.Save(shortWrites));
    }
    CHtmlDocument document;
    LoadPage(document, "<p>old</p>");
    CBrokenStream failingRead(CBrokenStream::kSecondReadThrows);
    EXPECT_EQ(StreamErrorOf([&] { document.Load(failingRead); }), ERR_FILE_STREAM_READ);
    EXPECT_FALSE(document.GetRoot().IsValid());
}

// Out of memory, the parser stops and keeps the tree it has built so far:
// that must never pass for the page, wherever the parse stops.
TEST(HtmlDocumentTest, PagesThatRunOutOfMemoryLeaveNoTree) {
    std::string page = "<html><body>";
    for (int i = 0; i < 2000; ++i) {
        page += "<p class=c><a href=x.html>x</a></p>";
    }
    // A failure in the middle of libxml2's own parser set-up leaks what it had
    // made (a library fault), so the table fails the very first allocation
    // or ones well into the tree.
    for (const long allowed : {0L, 500L, 5000L}) {
        SCOPED_TRACE(allowed);
        CHtmlDocument document;
        LoadPage(document, "<p>old</p>");
        {
            testing_support::XmlAllocationLimit limit(allowed);
            EXPECT_THROW(LoadPage(document, page), std::bad_alloc);
        }
        EXPECT_FALSE(document.GetRoot().IsValid());
    }
}

// The parser's work on a tag grows with the square of its attributes: a tag
// of 80 000 held it for minutes.
TEST(HtmlDocumentTest, PagesWithATagOfTooManyAttributesAreNotParsed) {
    const auto pageWith = [](int attributes) {
        std::string page = "<p>before</p><a href=x.html";
        for (int i = 0; i < attributes; ++i) {
            page += " a" + std::to_string(i) + "=1";
        }
        // Past the first reads, so that the parse stops on the way too.
        return page + ">x</a>" + std::string(100000, 'x');
    };
    const int half = CHtmlDocument::kMaxTagAttributes / 2;
    CHtmlDocument document;
    ASSERT_TRUE(LoadPage(document, pageWith(half)));
    const CHtmlNode link = document.GetBody().FindChild("a");
    EXPECT_EQ(link.GetAttribute("a" + std::to_string(half - 1)), "1");
    for (const int attributes : {CHtmlDocument::kMaxTagAttributes + 1, 80000}) {
        SCOPED_TRACE(attributes);
        EXPECT_FALSE(LoadPage(document, pageWith(attributes)));
        EXPECT_FALSE(document.GetRoot().IsValid());
    }
}

TEST(HtmlDocumentTest, LibraryDiagnosticsStayOffTheTerminal) {
    const auto parseAndFail = [] {
        CHtmlDocument document;
        LoadPage(document, "<p><b>\xFF</i><!-- <x y=\"");
        CBrokenStream shortWrites(CBrokenStream::kWriteFallsShort);
        document.Save(shortWrites);
    };
    testing::internal::CaptureStderr();
    parseAndFail();
    std::thread(parseAndFail).join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
