// The address value type shared by every subsystem: an absolute URL of one of
// eight schemes, split into components that are each kept decoded and escaped,
// with a normalised printed form.
#pragma once

#include <string>
#include <string_view>

class CStream;

// The value is also the position in the scheme table, searched in this order.
enum UrlScheme : int {
    SchemeNone = -1,
    SchemeFile = 0,
    SchemeFtp = 1,
    SchemeHttp = 2,
    SchemeHttps = 3,
    SchemeGopher = 4,
    SchemeMailto = 5,
    SchemeNews = 6,
    SchemeTelnet = 7,
};

// Escaping classes: which characters a component keeps unescaped besides
// letters, digits and the marks - _ . ! ~ * ' ( ).
enum class UrlComponent { User, Password, Host, Path, Query, Fragment };

class CUrl {
public:
    CUrl() = default;
    CUrl(const CUrl&) = default;
    CUrl& operator=(const CUrl&) = default;
    CUrl(CUrl&&) = default;
    CUrl& operator=(CUrl&&) = default;

    // Parses text as an absolute URL, without the controls and blanks around
    // it and the tabs and line breaks inside it. On failure the object is
    // left cleared.
    bool Parse(std::string_view text);
    // Builds the absolute URL that reference denotes relative to the absolute
    // URL baseText and parses it; ".." segments that would climb above the
    // root leave the path at the root, as browsers resolve them. On failure
    // the object is left cleared.
    bool ResolveRelative(std::string_view baseText, std::string_view reference);
    void Clear();

    // The text given to Parse (or the resolved text) as parsed: without the
    // characters Parse drops, scheme and host in lower case, the rest as
    // written. A URL's identity in the download list.
    const std::string& GetSourceText() const { return m_sourceText; }
    UrlScheme GetScheme() const { return m_scheme; }
    // The scheme's table text; empty for SchemeNone.
    std::string GetSchemeName() const;
    // Decoded, in lower case. An IPv6 literal keeps its brackets ("[::1]"),
    // as the Host header and a folder name want it, in its shortest form.
    const std::string& GetHost() const { return m_host; }
    // The port given in the URL; 0 when none was given.
    int GetPort() const { return m_port; }
    const std::string& GetUser() const { return m_user; }
    const std::string& GetPassword() const { return m_password; }
    // Decoded and normalised: starts with "/" when present, no "\", no "//",
    // no "." or ".." segments.
    const std::string& GetPath() const { return m_path; }
    // Decoded query including its leading "?".
    const std::string& GetQuery() const { return m_query; }
    // Decoded fragment including its leading "#".
    const std::string& GetFragment() const { return m_fragment; }
    const std::string& GetEscapedHost() const { return m_escapedHost; }
    // The path as given, escaped but not normalised.
    const std::string& GetEscapedPath() const { return m_escapedPath; }
    const std::string& GetEscapedQuery() const { return m_escapedQuery; }
    const std::string& GetEscapedFragment() const { return m_escapedFragment; }
    // The normalised printed form.
    const std::string& GetUrl() const { return m_url; }

    // 21, 80, 443 or 70 for ftp, http, https, gopher; 0 for the others.
    int GetDefaultPort() const;
    bool HasUrl() const { return !m_sourceText.empty(); }

    // The decoded path after its last "/" (the whole path when it has none).
    std::string GetFileName() const;
    // The file name up to its last "."; the whole name when it has none.
    std::string GetFileTitle() const;
    // The file name from its last "." inclusive; empty when it has none.
    std::string GetFileExtension() const;

    // Escapes every byte that is neither unreserved nor in the component's
    // set as %XX; a valid existing escape is kept as it is. For Query and
    // Fragment the leading "?" or "#" is kept.
    static std::string EscapeComponent(std::string_view text, UrlComponent component);
    // Decodes every %XX with two hexadecimal digits; other "%" stay as they are.
    static std::string UnescapeComponent(std::string_view text);

private:
    std::string m_sourceText;
    UrlScheme m_scheme = SchemeNone;
    std::string m_host;
    int m_port = 0;
    std::string m_user;
    std::string m_password;
    std::string m_path;
    std::string m_query;
    std::string m_fragment;
    std::string m_escapedHost;
    std::string m_escapedPath;
    std::string m_escapedQuery;
    std::string m_escapedFragment;
    std::string m_url;
};

// Stores the URL as its source text: one stream string.
void WriteUrl(CStream& stream, const CUrl& url);
// Reads one stream string: empty clears the URL, anything else must parse,
// else ERR_STREAM_DATA is thrown.
void ReadUrl(CStream& stream, CUrl& url);
