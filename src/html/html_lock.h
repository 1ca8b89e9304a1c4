// The lock that serialises the workers' use of the HTML parser library.
#pragma once

#include "platform/critical_section.h"

// Held while a worker parses a page for links or deletes its extractor, so
// that at most one page is parsed at a time during a crawl.
CCriticalSection& GetHtmlLock();
