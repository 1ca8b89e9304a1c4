#include "cli/netrc.h"

#include <cstdlib>

#include "base/ascii.h"

namespace {

// Splits a netrc text into its tokens.
class CNetrcTokens {
public:
    explicit CNetrcTokens(std::string_view text) : m_text(text) {}

    // False at the end of the text.
    bool Next(std::string& token) {
        SkipBlanks();
        if (m_position >= m_text.size()) {
            return false;
        }
        token.clear();
        if (m_text[m_position] == '"') {
            ReadQuoted(token);
        } else {
            while (m_position < m_text.size() && !IsBlank(m_text[m_position])) {
                token += m_text[m_position++];
            }
        }
        return true;
    }

    // A macro's body runs to the first empty line.
    void SkipMacro() {
        const std::size_t end = m_text.find("\n\n", m_position);
        m_position = end == std::string_view::npos ? m_text.size() : end + 2;
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    void SkipBlanks() {
        while (m_position < m_text.size() && IsBlank(m_text[m_position])) {
            ++m_position;
        }
    }

    void ReadQuoted(std::string& token) {
        ++m_position;
        while (m_position < m_text.size() && m_text[m_position] != '"') {
            char c = m_text[m_position++];
            if (c == '\\' && m_position < m_text.size()) {
                c = Unescape(m_text[m_position++]);
            }
            token += c;
        }
        ++m_position;  // the closing quote
    }

    static char Unescape(char c) {
        switch (c) {
            case 'n':
                return '\n';
            case 'r':
                return '\r';
            case 't':
                return '\t';
            default:
                return c;
        }
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

}  // namespace

bool FindNetrcCredentials(std::string_view text, std::string_view host, std::string_view login,
                          NetrcCredentials& found) {
    CNetrcTokens tokens(text);
    std::string token;
    // Within an entry for the host; the entry has what it needs once both
    // its login (the one asked for, if any) and its password are known.
    bool matching = false;
    NetrcCredentials entry;
    const auto complete = [&] {
        return matching && !entry.password.empty() && (login.empty() || entry.login == login);
    };
    while (tokens.Next(token)) {
        if (token == "machine" || token == "default") {
            if (complete()) {
                break;
            }
            std::string name;
            matching = token == "default" || (tokens.Next(name) && EqualsIgnoreCase(name, host));
            entry = NetrcCredentials();
        } else if (token == "login" || token == "password" || token == "account") {
            std::string value;
            tokens.Next(value);
            (token == "login" ? entry.login : token == "password" ? entry.password : value) = value;
        } else if (token == "macdef") {
            tokens.SkipMacro();
        }
    }
    if (!complete()) {
        return false;
    }
    found = entry;
    return true;
}

std::string NetrcPath() {
    const char* home = std::getenv("HOME");
    return home == nullptr || *home == '\0' ? std::string() : std::string(home) + "/.netrc";
}
