#include "html/html_library.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>
#include <string>

#include "html/html_charset.h"

namespace {

void IgnoreGenericError(void* /*context*/, const char* /*format*/, ...) {}

void IgnoreStructuredError(void* /*context*/, xmlErrorPtr /*error*/) {}

}  // namespace

CHtmlLibrary::~CHtmlLibrary() {
    xmlCleanupParser();
}

void CHtmlLibrary::Initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        // libxml2 keeps its error handlers per thread: the ThrDef calls set
        // them for every thread that touches the library from now on, the
        // others for the calling thread, whose state may already exist.
        xmlThrDefSetGenericErrorFunc(nullptr, IgnoreGenericError);
        xmlThrDefSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
        xmlSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
        // The parser would decode the rest of a page whose meta declares
        // UTF-16 as UTF-16, or keep it and write the page in UTF-16, where a
        // browser reads it as UTF-8. A byte-order mark still picks UTF-16.
        for (const std::string_view label : html_charset::kUtf16Labels) {
            xmlAddEncodingAlias("UTF-8", std::string(label).c_str());
        }
    });
}
