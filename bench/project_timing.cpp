// Times what a large project costs outside its crawl: opening it (reading
// the project file and making its journal's changes again) and saving it
// (writing the whole list and folding the journal in).
//   project_timing PROJECT.tkp
// prints "open_s save_s urls project_bytes"; the project is saved in place.
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "engine/quillmoor_doc.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: project_timing PROJECT.tkp\n");
        return 2;
    }
    CQuillmoorDoc doc(nullptr);
    auto start = std::chrono::steady_clock::now();
    if (!doc.OpenDocument(argv[1])) {
        std::fprintf(stderr, "project_timing: %s: %s\n", argv[1],
                     CQuillmoorDoc::GetLoadErrorMessage(doc.GetLoadError()));
        return 1;
    }
    const double open = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    if (!doc.Save()) {
        std::fprintf(stderr, "project_timing: %s could not be saved\n", argv[1]);
        return 1;
    }
    const double save = SecondsSince(start);
    std::printf("%.3f %.3f %zu %ju\n", open, save, doc.GetController().GetStats().queued,
                static_cast<std::uintmax_t>(std::filesystem::file_size(argv[1])));
    return 0;
}
