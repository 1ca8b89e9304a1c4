#include "html/html_node.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "base/errors.h"
#include "base/file_stream.h"
#include "html/html_document.h"
#include "support/temp_folder.h"
#include "support/thrown_code.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFile;

void LoadPage(CHtmlDocument& document, const std::string& page) {
    TempFolder folder;
    WriteFile(folder.File("page.html"), page);
    CFileStream stream;
    stream.Open(folder.File("page.html"), CFileStream::modeRead);
    ASSERT_TRUE(document.Load(stream));
}

CHtmlNode NewElement(const std::string& name) {
    CHtmlNode node;
    EXPECT_TRUE(node.CreateElement(name));
    return node;
}

constexpr auto& HtmlErrorOf = testing_support::CodeOf<CHtmlException>;

// Leaks and double frees show under AddressSanitizer.
TEST(HtmlNodeTest, DetachedNodesAreFreedByTheirOwnerOnly) {
    {
        CHtmlNode never = NewElement("p");
        never.AppendComment("freed with its parent");
        CHtmlNode view = never;
        CHtmlNode moved = std::move(never);
        view = moved;
        moved.SetAttribute("id", "alive");
        EXPECT_EQ(view.GetAttribute("id"), "alive");
        moved = NewElement("div");
        CHtmlNode alias = moved;
        moved = alias;
        moved = std::move(alias);
        moved.SetAttribute("id", "still owned");
    }
    {
        CHtmlNode list = NewElement("ul");
        CHtmlNode item = NewElement("li");
        list.AppendChild(item);
        CHtmlNode other = NewElement("li");
        list.AppendChild(other);
        CHtmlNode copy = item;
        copy.Unlink();
        item.Unlink();
        EXPECT_EQ(list.GetFirstChild().GetNodeName(), "li");
    }
    CHtmlDocument document;
    LoadPage(document, "<body><p>one</p><p>two</p></body>");
    {
        CHtmlNode first = document.GetBody().FindChild("p");
        first.Unlink();
        CHtmlNode treeNode = document.GetBody().FindChild("p");
    }
    EXPECT_EQ(document.GetBody().GetContent(), "two");
}

TEST(HtmlNodeTest, BuildsElementsAndEditsAttributes) {
    CHtmlNode param = NewElement("param");
    param.AddAttribute("name", "Local");
    param.AddAttribute("name", "Second");
    param.AddAttribute("value", "a/b.htm");
    EXPECT_EQ(param.GetAttribute("name"), "Local");
    param.SetAttribute("value", "c.htm");
    param.SetAttribute("type", "text/sitemap");
    EXPECT_EQ(param.GetAttribute("value"), "c.htm");
    EXPECT_EQ(param.GetAttribute("type"), "text/sitemap");
    EXPECT_TRUE(param.RemoveAttribute("name"));
    EXPECT_EQ(param.GetAttribute("name"), "Second");
    EXPECT_TRUE(param.RemoveAttribute("name"));
    EXPECT_FALSE(param.RemoveAttribute("name"));
    EXPECT_EQ(param.GetAttribute("missing"), "");
}

TEST(HtmlNodeTest, AttributeValuesLoseLineBreaksAndOuterWhiteSpace) {
    const struct {
        const char* value;
        const char* expected;
    } cases[] = {
        {"a\nb", "ab"}, {"a\r\nb", "a b"}, {"a\tb", "a b"}, {" \t\r\n x y \f\n", "x y"}, {"\n", ""},
    };
    for (const auto& c : cases) {
        CHtmlNode link = NewElement("a");
        link.SetAttribute("href", c.value);
        EXPECT_EQ(link.GetAttribute("href"), c.expected) << c.value;
    }
}

TEST(HtmlNodeTest, ImpossibleEditsThrowTheirCodes) {
    CHtmlDocument document;
    LoadPage(document, "<body><div><p>text</p></div></body>");
    CHtmlDocument other;
    LoadPage(other, "<p>elsewhere</p>");
    CHtmlNode empty;
    CHtmlNode div = document.GetBody().FindChild("div");
    const struct {
        const char* label;
        std::function<void()> edit;
        ResultCode code;
    } cases[] = {
        {"append to nothing",
         [&] {
             CHtmlNode p = NewElement("p");
             empty.AppendChild(p);
         },
         ERR_HTML_ADD_NODE},
        {"append nothing", [&] { div.AppendChild(empty); }, ERR_HTML_ADD_NODE},
        {"append an ancestor",
         [&] {
             CHtmlNode body = document.GetBody();
             div.AppendChild(body);
         },
         ERR_HTML_ADD_NODE},
        {"append to text",
         [&] {
             CHtmlNode text = div.FindChild("p").GetFirstChild();
             CHtmlNode b = NewElement("b");
             text.AppendChild(b);
         },
         ERR_HTML_ADD_NODE},
        {"append from another document",
         [&] {
             CHtmlNode p = other.GetBody().FindChild("p");
             div.AppendChild(p);
         },
         ERR_HTML_ADD_NODE},
        {"insert before a detached node",
         [&] {
             CHtmlNode lone = NewElement("p");
             CHtmlNode b = NewElement("b");
             lone.InsertBefore(b);
         },
         ERR_HTML_ADD_NODE},
        {"insert itself",
         [&] {
             CHtmlNode self = div;
             div.InsertBefore(self);
         },
         ERR_HTML_ADD_NODE},
        {"comment on nothing", [&] { empty.AppendComment("c"); }, ERR_HTML_ADD_NODE},
        {"attribute on nothing", [&] { empty.AddAttribute("a", "b"); }, ERR_HTML_ADD_ATTRIBUTE},
        {"attribute on text", [&] { div.FindChild("p").GetFirstChild().AddAttribute("a", "b"); },
         ERR_HTML_ADD_ATTRIBUTE},
        {"set on nothing", [&] { empty.SetAttribute("a", "b"); }, ERR_HTML_SET_ATTRIBUTE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HtmlErrorOf(c.edit), c.code) << c.label;
    }
    EXPECT_EQ(document.GetBody().GetContent(), "text");
    EXPECT_EQ(other.GetBody().GetContent(), "elsewhere");
}

TEST(HtmlNodeTest, MovesNodesWithinTheTree) {
    CHtmlDocument document;
    LoadPage(document, "<body><p>a<b>b</b></p><div>c</div></body>");
    CHtmlNode p = document.GetBody().FindChild("p");
    CHtmlNode div = document.GetBody().FindChild("div");
    CHtmlNode bold = p.FindChild("b");
    div.InsertBefore(bold);
    // Text appended after text is merged into it, and the handle follows.
    CHtmlNode text = p.GetFirstChild();
    div.AppendChild(text);
    EXPECT_EQ(text.GetContent(), "ca");
    EXPECT_EQ(document.GetBody().GetContent(), "bca");
    EXPECT_EQ(p.GetFirstChild().IsValid(), false);
}

TEST(HtmlNodeTest, ContentIsTakenLiterally) {
    CHtmlNode cell = NewElement("td");
    cell.AppendComment("old");
    cell.SetContent("Fish & Chips <b>&amp;</b>");
    EXPECT_EQ(cell.GetContent(), "Fish & Chips <b>&amp;</b>");
    EXPECT_EQ(cell.GetFirstChild().GetNodeName(), "text");
    CHtmlNode text = cell.GetFirstChild();
    text.SetContent("x & y");
    EXPECT_EQ(cell.GetContent(), "x & y");
}

TEST(HtmlNodeTest, FindChildIgnoresCaseAndNonElements) {
    CHtmlNode list = NewElement("ul");
    list.AppendComment("LI");
    CHtmlNode item = NewElement("LI");
    list.AppendChild(item);
    EXPECT_EQ(list.GetFirstChild().GetNodeName(), "comment");
    EXPECT_EQ(list.FindChild("li").GetNodeName(), "LI");
    EXPECT_FALSE(list.FindChild("comment").IsValid());
    EXPECT_FALSE(CHtmlNode().FindChild("li").IsValid());
    EXPECT_EQ(CHtmlNode().GetNodeName(), "");
}

}  // namespace
