// Makes libxml2 run out of memory after a given number of allocations, on
// every thread, for as long as the object lives.
#pragma once

#include <libxml/xmlmemory.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "html/html_library.h"

namespace testing_support {

class XmlAllocationLimit {
public:
    explicit XmlAllocationLimit(long allowed) {
        // Set up before the limit: the library's own start must not fail.
        CHtmlLibrary::Initialize();
        Remaining() = allowed;
        xmlMemGet(&m_free, &m_malloc, &m_realloc, &m_strdup);
        xmlMemSetup(std::free, Malloc, Realloc, Strdup);
    }
    ~XmlAllocationLimit() { xmlMemSetup(m_free, m_malloc, m_realloc, m_strdup); }
    XmlAllocationLimit(const XmlAllocationLimit&) = delete;
    XmlAllocationLimit& operator=(const XmlAllocationLimit&) = delete;

private:
    static std::atomic<long>& Remaining() {
        static std::atomic<long> remaining{0};
        return remaining;
    }
    static bool Allow() { return Remaining().fetch_sub(1) > 0; }
    static void* Malloc(std::size_t size) { return Allow() ? std::malloc(size) : nullptr; }
    static void* Realloc(void* block, std::size_t size) {
        return Allow() ? std::realloc(block, size) : nullptr;
    }
    static char* Strdup(const char* text) {
        if (!Allow()) {
            return nullptr;
        }
        char* copy = static_cast<char*>(std::malloc(std::strlen(text) + 1));
        return copy != nullptr ? std::strcpy(copy, text) : nullptr;
    }

    xmlFreeFunc m_free = nullptr;
    xmlMallocFunc m_malloc = nullptr;
    xmlReallocFunc m_realloc = nullptr;
    xmlStrdupFunc m_strdup = nullptr;
};

}  // namespace testing_support
