// Feeds arbitrary bytes to the project file's loader. A load either reports
// one of its errors or yields a project that stores and loads back to the
// same bytes; it never crashes or hangs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/support/memory_stream.h"
#include "engine/quillmoor_doc.h"

namespace {

using testing_support::MemoryStream;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_project_file: %s\n", what);
        std::abort();
    }
}

std::string Stored(CQuillmoorDoc& doc) {
    MemoryStream stream;
    doc.Store(stream);
    return stream.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    CQuillmoorDoc doc(nullptr);
    if (doc.Load(input) != CQuillmoorDoc::LoadError::None) {
        Check(!doc.IsOpen(), "a failed load left a project behind");
        return 0;
    }
    // A crawl stored as running comes back paused, so only the second
    // generation has to match the first.
    const std::string bytes = Stored(doc);
    MemoryStream again(bytes);
    CQuillmoorDoc reloaded(nullptr);
    Check(reloaded.Load(again) == CQuillmoorDoc::LoadError::None, "a stored project does not load");
    Check(again.GetPosition() == again.GetLength(), "a stored project is not read to its end");
    Check(Stored(reloaded) == bytes, "a stored project does not round-trip");
    return 0;
}
