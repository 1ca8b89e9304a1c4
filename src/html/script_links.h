// The files a script names in its strings: Doxygen's navigation data lists
// its pages as {url:"index.html"}, Sphinx loads "searchindex.js", a tree
// swaps in "plus.png". Nothing else of the page names them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whether the text of a string reads as a reference to a file: no blanks,
// no markup, no scheme but http and https, and a last path segment with a
// name before an extension of a web file or of the file groups.
bool LooksLikeFileReference(std::string_view text);

// The strings of the script that look like file references, in order, each
// up to a quote it holds (the end of an attribute value in markup the script
// builds); a script that stops reading as one gives those before that point.
// htmlComments as in CJsTokenizer.
std::vector<std::string> FindScriptReferences(std::string_view script, bool htmlComments);

// Whether a script element of this type attribute (empty when it has none)
// runs as JavaScript, and as a module.
bool IsJavaScriptType(std::string_view type);
bool IsModuleType(std::string_view type);
