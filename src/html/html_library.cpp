#include "html/html_library.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>

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
    });
}
