// tarnwick-build-help: compiles the program's own help pages into its help
// file at build time, with the same builder that compiles a downloaded site.
//   tarnwick-build-help PAGES_FOLDER OUT.chm
// The pages are copied to a scratch folder first: the generated project,
// contents and index files must sit beside the pages, as the compiler names
// every topic relative to the project file, but never in the source tree.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "chm/chm_builder.h"
#include "platform/move_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "Tarnwick Help";
constexpr const char* kDefaultPage = "index.htm";

// A fresh scratch folder that is removed with this object.
class CScratchFolder {
public:
    CScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "tarnwick-help-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~CScratchFolder() {
        std::error_code ignored;
        if (!m_path.empty()) {
            fs::remove_all(m_path, ignored);
        }
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

CFilePath Generated(const fs::path& folder, const char* extension) {
    return CFilePath("", folder.string() + "/", "Tarnwick", extension);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tarnwick-build-help: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        return Fail("usage: tarnwick-build-help PAGES_FOLDER OUT.chm");
    }
    const fs::path source = argv[1];
    const fs::path target = fs::absolute(argv[2]);
    if (!fs::is_regular_file(source / kDefaultPage)) {
        return Fail(source.string() + " has no " + kDefaultPage);
    }
    const CScratchFolder scratch;
    if (scratch.Path().empty()) {
        return Fail("cannot make a scratch folder");
    }
    const fs::path pages = scratch.Path() / "pages";
    std::error_code error;
    fs::copy(source, pages, fs::copy_options::recursive, error);
    if (error) {
        return Fail("cannot copy " + source.string() + ": " + error.message());
    }
    CChmBuilder builder;
    builder.SetSourceFolder(CFilePath(pages.string() + "/"));
    builder.SetProjectFile(Generated(pages, ".hhp"));
    builder.SetContentsFile(Generated(pages, ".hhc"));
    builder.SetIndexFile(Generated(pages, ".hhk"));
    builder.SetCompiledFile(Generated(pages, ".chm"));
    builder.SetDefaultTopic(CFilePath((pages / kDefaultPage).string()));
    builder.SetTitle(kTitle);
    const ResultCode result = builder.Build();
    if (result != ERR_SUCCESS) {
        return Fail("the help compiler failed with code " +
                    std::to_string(static_cast<unsigned long>(result)));
    }
    if (!MoveFileReplacing(builder.GetCompiledFile().GetFullPath(), target.string())) {
        return Fail("cannot write " + target.string());
    }
    return 0;
}
