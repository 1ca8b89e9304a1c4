// The character encodings of the web, found by the labels that servers and
// pages name them with, as browsers find them, and converted through iconv.
#pragma once

#include <iconv.h>

#include <optional>
#include <string>
#include <string_view>

struct WebEncoding {
    // The encoding's own name ("windows-1252", "UTF-8", "Shift_JIS").
    std::string_view name;
    // iconv's name for it; null for the two that nothing converts
    // (replacement, x-user-defined).
    const char* converter;

    bool IsUtf8() const { return name == "UTF-8"; }
    // Whether its markup is ASCII bytes that read the same byte by byte as
    // character by character (not so for UTF-16 and ISO-2022-JP).
    bool HasAsciiMarkup() const;
};

// The encoding that label names, compared without regard to case once ASCII
// white space is trimmed: "latin1", "iso-8859-1" and "ascii" all name
// windows-1252, "iso-8859-15" names ISO-8859-15. None for a label that no
// browser knows.
std::optional<WebEncoding> FindWebEncoding(std::string_view label);

// Converts text from one iconv encoding to another.
class CTextConverter {
public:
    // An encoding iconv does not know leaves the converter unable to convert.
    CTextConverter(const char* from, const char* to);
    ~CTextConverter();
    CTextConverter(const CTextConverter&) = delete;
    CTextConverter& operator=(const CTextConverter&) = delete;

    // None when text holds bytes that are no character of the source
    // encoding, or a character the target cannot hold.
    std::optional<std::string> Convert(std::string_view text);

private:
    iconv_t m_converter;
};

// The text of an encoding in UTF-8, and back; none as CTextConverter gives.
std::optional<std::string> DecodeText(std::string_view text, const WebEncoding& encoding);
std::optional<std::string> EncodeText(std::string_view utf8, const WebEncoding& encoding);
