#include "html/open_element_stack.h"

#include <algorithm>
#include <initializer_list>

#include "base/ascii.h"
#include "html/tag_scanner.h"

namespace {

constexpr std::size_t kMaxDepth = 512;

using Names = std::initializer_list<std::string_view>;

bool IsOneOf(std::string_view name, Names names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

const Names kHeadings = {"h1", "h2", "h3", "h4", "h5", "h6"};

bool IsHeading(std::string_view name) {
    return IsOneOf(name, kHeadings);
}

// HTML elements whose text holds no tags, and how it reads.
std::optional<TextKind> RawTextKindOf(std::string_view name) {
    if (name == "script") {
        return TextKind::ScriptData;
    }
    if (name == "plaintext") {
        return TextKind::PlainText;
    }
    if (IsOneOf(name, {"style", "xmp", "iframe", "noembed", "noframes", "noscript", "title",
                       "textarea"})) {
        return TextKind::RawText;
    }
    return std::nullopt;
}

// Start tags that end SVG and MathML content and are read as HTML.
bool IsBreakout(std::string_view name, const ScannedTag& tag) {
    if (name == "font") {
        return tag.Find("color") || tag.Find("face") || tag.Find("size");
    }
    return IsOneOf(
        name,
        {"b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
         "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
         "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
         "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
         "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"});
}

bool IsMathMlTextIntegrationPoint(std::string_view name) {
    return IsOneOf(name, {"mi", "mo", "mn", "ms", "mtext"});
}

// Elements that close a p element in button scope when they start.
bool ClosesParagraph(std::string_view name) {
    return IsHeading(name) ||
           IsOneOf(name, {"address", "article", "aside",  "blockquote", "center",   "details",
                          "dialog",  "dir",     "div",    "dl",         "fieldset", "figcaption",
                          "figure",  "footer",  "header", "hgroup",     "main",     "menu",
                          "nav",     "ol",      "p",      "section",    "summary",  "ul",
                          "pre",     "listing", "hr",     "xmp",        "plaintext"});
}

bool IsFormatting(std::string_view name) {
    return IsOneOf(name, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small",
                          "strike", "strong", "tt", "u"});
}

// Elements that never stay open.
bool IsVoid(std::string_view name) {
    return IsOneOf(name,
                   {"area",   "base",  "basefont", "bgsound", "br",     "col",  "embed", "frame",
                    "hr",     "image", "img",      "input",   "keygen", "link", "meta",  "param",
                    "source", "track", "wbr",      "body",    "html",   "head"});
}

// Inside an integration point these depend on the insertion mode, on the
// form element pointer or on the standard's edition; they are not followed.
bool IsUnfollowedInsideForeign(std::string_view name) {
    return IsOneOf(
        name, {"caption", "col", "colgroup", "table", "tbody", "td", "tfoot", "th", "thead", "tr",
               "template", "form", "frameset", "select", "isindex", "menuitem", "search"});
}

// End tags that close an element only when it is in scope.
bool ClosesInScope(std::string_view name) {
    return IsOneOf(
        name,
        {"address", "article", "aside",  "blockquote", "button",     "center", "details", "dialog",
         "dir",     "div",     "dl",     "fieldset",   "figcaption", "figure", "footer",  "header",
         "hgroup",  "listing", "main",   "menu",       "nav",        "ol",     "pre",     "section",
         "summary", "ul",      "applet", "marquee",    "object",     "dd",     "dt"});
}

bool IsSpecialHtml(std::string_view name) {
    return IsHeading(name) ||
           IsOneOf(name, {"address",    "applet",   "area",       "article",  "aside",   "base",
                          "basefont",   "bgsound",  "blockquote", "body",     "br",      "button",
                          "caption",    "center",   "col",        "colgroup", "dd",      "details",
                          "dir",        "div",      "dl",         "dt",       "embed",   "fieldset",
                          "figcaption", "figure",   "footer",     "form",     "frame",   "frameset",
                          "head",       "header",   "hgroup",     "hr",       "html",    "iframe",
                          "img",        "input",    "keygen",     "li",       "link",    "listing",
                          "main",       "marquee",  "menu",       "meta",     "nav",     "noembed",
                          "noframes",   "noscript", "object",     "ol",       "p",       "param",
                          "plaintext",  "pre",      "script",     "search",   "section", "select",
                          "source",     "style",    "summary",    "table",    "tbody",   "td",
                          "template",   "textarea", "tfoot",      "th",       "thead",   "title",
                          "tr",         "track",    "ul",         "wbr",      "xmp"});
}

// A name of ASCII characters but NUL, which reads the same in every
// character set.
bool IsPlainName(std::string_view name) {
    return IsAscii(name) && name.find('\0') == std::string_view::npos;
}

bool IsHtmlScopeBoundary(std::string_view name) {
    return IsOneOf(
        name, {"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"});
}

}  // namespace

bool COpenElementStack::InForeignContent() const {
    return !m_elements.empty() && m_elements.back().space != Space::Html;
}

bool COpenElementStack::StartTag(const ScannedTag& tag, TextKind& text) {
    text = TextKind::Markup;
    const std::string name = ToLowerAscii(tag.name);
    // Whether such a name matches an end tag's depends on the character set.
    // Deeper content than any real page holds would only make end tags walk
    // a long stack, each of them.
    if (!m_elements.empty() && (!IsPlainName(name) || m_elements.size() >= kMaxDepth)) {
        return false;
    }
    while (!m_elements.empty() && TakesForeignStartTag(name)) {
        if (!IsBreakout(name, tag)) {
            return StartForeignElement(name, tag);
        }
        PopToHtmlOrIntegrationPoint();
    }
    return StartHtmlElement(name, tag, text);
}

bool COpenElementStack::TakesForeignStartTag(std::string_view name) const {
    const Element& top = m_elements.back();
    if (top.space == Space::Html || top.htmlIntegration) {
        return false;
    }
    if (top.space == Space::MathMl && IsMathMlTextIntegrationPoint(top.name)) {
        return name == "mglyph" || name == "malignmark";
    }
    return !(top.space == Space::MathMl && top.name == "annotation-xml" && name == "svg");
}

bool COpenElementStack::StartForeignElement(const std::string& name, const ScannedTag& tag) {
    if (tag.selfClosing) {
        return true;
    }
    Element element{m_elements.back().space, name};
    if (element.space == Space::Svg) {
        element.htmlIntegration = IsOneOf(name, {"foreignobject", "desc", "title"});
    } else if (name == "annotation-xml") {
        if (const ScannedAttribute* encoding = tag.Find("encoding")) {
            const std::optional<std::string> value = DecodeAttributeValue(encoding->value);
            if (!value) {
                return false;
            }
            element.htmlIntegration = EqualsIgnoreCase(*value, "text/html") ||
                                      EqualsIgnoreCase(*value, "application/xhtml+xml");
        }
    }
    m_elements.push_back(std::move(element));
    return true;
}

void COpenElementStack::PopToHtmlOrIntegrationPoint() {
    while (!m_elements.empty()) {
        const Element& top = m_elements.back();
        if (top.space == Space::Html || top.htmlIntegration ||
            (top.space == Space::MathMl && IsMathMlTextIntegrationPoint(top.name))) {
            return;
        }
        m_elements.pop_back();
    }
}

bool COpenElementStack::StartHtmlElement(const std::string& name, const ScannedTag& tag,
                                         TextKind& text) {
    const std::optional<TextKind> raw = RawTextKindOf(name);
    const bool foreign = name == "svg" || name == "math";
    // Browsers of different years read what a select holds differently, and
    // a frameset drops every tag but its own.
    if (m_inSelect) {
        if ((raw && name != "script") || foreign || name == "template") {
            return false;
        }
        m_inSelect = name != "select";
    } else if (m_inFrameset) {
        if ((raw && name != "noframes") || foreign) {
            return false;
        }
    } else if (!m_elements.empty() && !StartHtmlInsideForeign(name)) {
        return false;
    } else if (foreign) {
        if (!tag.selfClosing) {
            m_elements.push_back({name == "svg" ? Space::Svg : Space::MathMl, name});
        }
    } else if (m_elements.empty()) {
        m_inSelect = name == "select";
        m_inFrameset = name == "frameset";
    }
    text = raw.value_or(TextKind::Markup);
    return true;
}

// HTML inside an integration point: what stays open is followed exactly as
// long as no element closes another one implicitly; a start tag that would
// leaves the reading uncertain.
bool COpenElementStack::StartHtmlInsideForeign(const std::string& name) {
    if (IsUnfollowedInsideForeign(name) ||
        (ClosesParagraph(name) && FindInScope({"p"}, {"button"})) ||
        (IsHeading(name) && IsHtmlOnTop(kHeadings)) ||
        (name == "button" && FindInScope({"button"}, {})) ||
        (name == "nobr" && FindInScope({"nobr"}, {})) ||
        (IsOneOf(name, {"option", "optgroup"}) && IsHtmlOnTop({"option"})) ||
        (IsOneOf(name, {"rb", "rp", "rt", "rtc"}) && FindInScope({"ruby"}, {}))) {
        return false;
    }
    // A second "a" closes the first wherever it is open.
    if (name == "a" && std::any_of(m_elements.begin(), m_elements.end(), [](const Element& e) {
            return e.space == Space::Html && e.name == "a";
        })) {
        return false;
    }
    if (IsOneOf(name, {"li", "dd", "dt"})) {
        const bool listItem = name == "li";
        for (std::size_t i = m_elements.size(); i-- > 0;) {
            const Element& element = m_elements[i];
            if (element.space == Space::Html &&
                (listItem ? element.name == "li" : IsOneOf(element.name, {"dd", "dt"}))) {
                return false;
            }
            if (IsSpecial(element) &&
                !(element.space == Space::Html && IsOneOf(element.name, {"address", "div", "p"}))) {
                break;
            }
        }
    }
    // Raw text elements end at their own end tag, which the scanner reads;
    // SVG and MathML roots are pushed by the caller.
    if (!IsVoid(name) && !RawTextKindOf(name) && name != "svg" && name != "math") {
        m_elements.push_back({Space::Html, name});
    }
    return true;
}

bool COpenElementStack::EndTag(std::string_view name) {
    if (m_elements.empty()) {
        if (name == "select") {
            m_inSelect = false;
        }
        return true;
    }
    if (!IsPlainName(name)) {
        return false;
    }
    if (m_elements.back().space == Space::Html) {
        return EndHtmlElementInsideForeign(name);
    }
    // Browsers of different years close SVG and MathML content at these.
    if (name == "p" || name == "br") {
        return false;
    }
    for (std::size_t i = m_elements.size(); i-- > 0;) {
        if (m_elements[i].space == Space::Html) {
            return EndHtmlElementInsideForeign(name);
        }
        if (m_elements[i].name == name) {
            m_elements.resize(i);
            return true;
        }
    }
    // It reaches the HTML elements around the subtree, which are not kept.
    return false;
}

bool COpenElementStack::EndHtmlElementInsideForeign(std::string_view name) {
    if (IsOneOf(name, {"body", "html", "br"})) {
        return true;  // never in scope here; a "</br>" reads as a "<br>"
    }
    if (IsFormatting(name)) {
        if (!IsHtmlOnTop({name})) {
            return false;  // the adoption agency would move elements about
        }
        m_elements.pop_back();
        return true;
    }
    if (IsUnfollowedInsideForeign(name)) {
        return false;
    }
    std::optional<std::size_t> at;
    if (name == "p") {
        at = FindInScope({"p"}, {"button"});
    } else if (name == "li") {
        at = FindInScope({"li"}, {"ol", "ul"});
    } else if (IsHeading(name)) {
        at = FindInScope(kHeadings, {});
    } else if (ClosesInScope(name)) {
        at = FindInScope({name}, {});
    } else {
        for (std::size_t i = m_elements.size(); i-- > 0;) {
            const Element& element = m_elements[i];
            if (element.space == Space::Html && element.name == name) {
                return PopTo(i);
            }
            if (IsSpecial(element)) {
                return true;
            }
        }
        return false;
    }
    return !at || PopTo(*at);
}

bool COpenElementStack::PopTo(std::size_t index) {
    for (std::size_t i = index; i < m_elements.size(); ++i) {
        if (m_elements[i].space == Space::Html && IsFormatting(m_elements[i].name)) {
            return false;
        }
    }
    m_elements.resize(index);
    return true;
}

std::optional<std::size_t> COpenElementStack::FindInScope(Names names, Names extra) const {
    for (std::size_t i = m_elements.size(); i-- > 0;) {
        const Element& element = m_elements[i];
        if (element.space == Space::Html) {
            if (IsOneOf(element.name, names)) {
                return i;
            }
            if (IsHtmlScopeBoundary(element.name) || IsOneOf(element.name, extra)) {
                return std::nullopt;
            }
        } else if (IsForeignBoundary(element)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool COpenElementStack::IsHtmlOnTop(Names names) const {
    return !m_elements.empty() && m_elements.back().space == Space::Html &&
           IsOneOf(m_elements.back().name, names);
}

bool COpenElementStack::IsForeignBoundary(const Element& element) {
    return element.space == Space::Svg
               ? element.htmlIntegration
               : element.space == Space::MathMl && (IsMathMlTextIntegrationPoint(element.name) ||
                                                    element.name == "annotation-xml");
}

bool COpenElementStack::IsSpecial(const Element& element) {
    return element.space == Space::Html ? IsSpecialHtml(element.name) : IsForeignBoundary(element);
}
