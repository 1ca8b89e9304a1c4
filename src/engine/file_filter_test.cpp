#include "engine/file_filter.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "engine/filter_list.h"
#include "support/memory_stream.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;
using Extensions = std::vector<std::string>;

TEST(FileFilterTest, ParsesExtensionTextPieceByPiece) {
    const struct {
        const char* text;
        Extensions expected;
    } cases[] = {
        {"*.gif;x.jpg;png", {".gif", ".jpg", ".png"}},
        {"*.tar.gz", {".gz"}},
        {".wav;.mp3;.mid;", {".wav", ".mp3", ".mid"}},
        {";;.a;;", {".a"}},
        {"", {}},
        {".JPG", {".JPG"}},
        // Not trimmed: the second piece has no dot and keeps its blank.
        {"htm; html", {".htm", ". html"}},
        {" .gif", {".gif"}},
        {".", {"."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CFileFilter::ParseExtensionText(c.text), c.expected) << c.text;
    }
}

TEST(FileFilterTest, FormatsWithStarsAndReadsItsOwnTextBack) {
    const Extensions extensions = {".bmp", ".gif", ". html"};
    const std::string text = CFileFilter::FormatExtensionText(extensions);
    EXPECT_EQ(text, "*.bmp;*.gif;*. html");
    EXPECT_EQ(CFileFilter::ParseExtensionText(text), extensions);
    EXPECT_EQ(CFileFilter::FormatExtensionText({}), "");
}

TEST(FileFilterTest, SizeLimitsInKBytes) {
    const struct {
        std::uint32_t minimumKb, maximumKb;
        std::uint64_t size;
        bool accepted;
    } cases[] = {
        {10, 20, 10 * 1024, true},
        {10, 20, 10 * 1024 - 1, false},
        {10, 20, 20 * 1024, true},
        {10, 20, 20 * 1024 + 1, false},
        {10, 0, 10 * 1024, false},  // a maximum of 0 bounds at 0 once a minimum is set
        {0, 1, 0, true},
        // Large KByte limits must not wrap around in 32 bits.
        {0, 0x400000, 0xFFFFFFFFull, true},
        {0x400001, 0, 100, false},
    };
    for (const auto& c : cases) {
        CFileFilter filter("f", "", c.minimumKb, c.maximumKb, true);
        EXPECT_EQ(filter.AcceptsSize(c.size), c.accepted)
            << c.minimumKb << " " << c.maximumKb << " " << c.size;
    }
}

TEST(FilterListTest, DefaultGroupsInOrderAllDisabled) {
    const CFilterList list = CFilterList::DefaultGroups();
    const char* names[] = {"Image", "Archive", "Document", "Audio", "Video", "Other"};
    const char* texts[] = {
        "*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.svg;*.webp;*.avif;*.ico",
        "*.zip;*.rar;*.arj;*.gz;*.z;*.7z;*.tar;*.xz;*.bz2;*.tgz",
        "*.doc;*.pdf;*.ps;*.ppt;*.docx;*.xlsx;*.pptx;*.odt;*.ods;*.odp;*.epub;*.txt;*.csv",
        "*.wav;*.mp3;*.mid;*.ogg;*.flac;*.m4a;*.opus",
        "*.avi;*.mov;*.mpeg;*.mp4;*.webm;*.mkv;*.m4v",
        ""};
    ASSERT_EQ(list.GetCount(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const CFileFilter& filter = list.GetAt(i);
        EXPECT_EQ(filter.GetName(), names[i]);
        EXPECT_EQ(filter.GetExtensionText(), texts[i]);
        EXPECT_FALSE(filter.IsEnabled());
        EXPECT_FALSE(filter.HasSizeLimits());
    }
    EXPECT_FALSE(list.AnyEnabled());
}

TEST(FilterListTest, CopiesAreIndependent) {
    CFilterList list;
    list.Append("a", ".x", 0, 0, true);
    CFilterList copy;
    copy.CopyFrom(list);
    copy.GetAt(0).SetName("b");
    copy.Append("c", ".y", 1, 2, false);
    EXPECT_EQ(list.GetAt(0).GetName(), "a");
    EXPECT_EQ(list.GetCount(), 1u);
    copy.RemoveAt(0);
    EXPECT_EQ(copy.GetAt(0).GetName(), "c");
    copy.RemoveAt(5);  // out of range: nothing happens
    EXPECT_EQ(copy.GetCount(), 1u);
}

TEST(FilterListTest, StoresExactBytesAndLoadsThemBack) {
    CFilterList list;
    list.Append("Image", ".bmp;.gif;.jpg;.jpeg;.png", 10, 0, true);
    list.Append("Odd", "htm; html", 0, 7, false);
    MemoryStream stream;
    list.Store(stream);
    const std::string expected = ExpectedBytes()
                                     .Int(2)
                                     .Str("Image")
                                     .Str("*.bmp;*.gif;*.jpg;*.jpeg;*.png")
                                     .Int(10)
                                     .Int(0)
                                     .Bool(true)
                                     .Str("Odd")
                                     .Str("*.htm;*. html")
                                     .Int(0)
                                     .Int(7)
                                     .Bool(false)
                                     .Bytes();
    EXPECT_EQ(stream.Bytes(), expected);

    MemoryStream input(expected);
    CFilterList loaded;
    loaded.Append("replaced", ".q", 0, 0, true);
    loaded.Load(input);
    ASSERT_EQ(loaded.GetCount(), 2u);
    EXPECT_EQ(loaded.GetAt(1).GetExtensions(), (Extensions{".htm", ". html"}));
    EXPECT_EQ(loaded.GetAt(0).GetMinimumSize(), 10u);
    EXPECT_TRUE(loaded.GetAt(0).IsEnabled());
    EXPECT_EQ(loaded.GetAt(1).GetMaximumSize(), 7u);
}

TEST(FilterListTest, TruncatedDataFailsAndKeepsTheList) {
    CFilterList list = CFilterList::DefaultGroups();
    MemoryStream stream;
    list.Store(stream);
    for (std::size_t length = 0; length < stream.Bytes().size(); ++length) {
        MemoryStream input(stream.Bytes().substr(0, length));
        CFilterList target;
        target.Append("kept", ".k", 0, 0, true);
        try {
            target.Load(input);
            ADD_FAILURE() << "loaded from " << length << " bytes";
        } catch (const CStreamException& e) {
            EXPECT_EQ(e.GetCode(), ERR_STREAM_DATA);
        }
        ASSERT_EQ(target.GetCount(), 1u);
        EXPECT_EQ(target.GetAt(0).GetName(), "kept");
    }
}

}  // namespace
