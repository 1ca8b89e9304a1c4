#include "chm/html_help_compiler.h"

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "base/ascii.h"
#include "platform/child_process.h"

namespace {

// The options whose values name files.
constexpr std::array<std::string_view, 4> kPathOptions = {"Compiled file", "Contents file",
                                                          "Index file", "Default topic"};

enum class Section { kOther, kOptions, kFiles };

// Below this chmcmd prints nothing while it works: it names each file it
// takes in only at the top level, and those lines are the build's progress.
// The options follow the project, where a stand-in still finds it first.
constexpr const char* kFileNotesVerbosity = "5";

// "Note: Scanning file a.htm.", "Note: Not scanning file because of unknown
// extension b.png", "Note: Scanning TOC file : T.hhc.", "Writing CHM T.chm".
constexpr std::array<std::string_view, 3> kStepPrefixes = {"Note: Scanning ", "Note: Not scanning ",
                                                           "Writing CHM"};

bool IsPathOption(std::string_view key) {
    for (std::string_view option : kPathOptions) {
        if (EqualsIgnoreCase(key, option)) {
            return true;
        }
    }
    return false;
}

Section SectionOf(std::string_view header) {
    if (EqualsIgnoreCase(header, "[OPTIONS]")) {
        return Section::kOptions;
    }
    return EqualsIgnoreCase(header, "[FILES]") ? Section::kFiles : Section::kOther;
}

std::string RelativeToProject(std::string_view path, const CFilePath& projectFile) {
    if (path.empty() || path.front() != '/') {
        return std::string(path);
    }
    const CFilePath relative = CFilePath(path).MakeRelativeTo(projectFile);
    return relative.IsEmpty() ? std::string(path) : relative.GetFullPath();
}

CFilePath AbsoluteFromProject(std::string_view path, const CFilePath& projectFile) {
    if (!path.empty() && path.front() == '/') {
        return CFilePath(path);
    }
    return CFilePath::Combine(projectFile.GetDir(), path);
}

class CProjectTranslator {
public:
    explicit CProjectTranslator(const CFilePath& projectFile) : m_projectFile(projectFile) {}

    std::string TranslateLine(std::string_view line) {
        if (!line.empty() && line.front() == '[') {
            m_section = SectionOf(line);
            return std::string(line);
        }
        if (m_section == Section::kFiles) {
            return RelativeToProject(line, m_projectFile);
        }
        const std::size_t equals = line.find('=');
        if (m_section != Section::kOptions || equals == std::string_view::npos ||
            !IsPathOption(line.substr(0, equals))) {
            return std::string(line);
        }
        const std::string_view key = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (EqualsIgnoreCase(key, kPathOptions[0])) {
            m_compiledFile = AbsoluteFromProject(value, m_projectFile);
        }
        return std::string(key) + "=" + RelativeToProject(value, m_projectFile);
    }

    // chmcmd names the compiled file after the project when no option does.
    CFilePath GetCompiledFile() const {
        if (!m_compiledFile.IsEmpty()) {
            return m_compiledFile;
        }
        return CFilePath("", m_projectFile.GetDir(), m_projectFile.GetTitle(), ".chm");
    }

private:
    const CFilePath& m_projectFile;
    Section m_section = Section::kOther;
    CFilePath m_compiledFile;
};

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The translated project, written beside the original under a fresh hidden
// name and removed again when the compilation is over.
class CTemporaryProject {
public:
    CTemporaryProject(const CFilePath& projectFile, const std::string& text) {
        std::string path = projectFile.GetDir() + ".tarnwick-XXXXXX.hhp";
        const int fd = ::mkstemps(path.data(), 4);
        if (fd < 0) {
            return;
        }
        m_path = path;
        const bool written =
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (::close(fd) == 0 && written) {
            m_name = CFilePath(path).GetName();
        }
    }
    ~CTemporaryProject() {
        if (!m_path.empty()) {
            std::remove(m_path.c_str());
        }
    }
    CTemporaryProject(const CTemporaryProject&) = delete;
    CTemporaryProject& operator=(const CTemporaryProject&) = delete;

    // Empty when the copy could not be written.
    const std::string& GetName() const { return m_name; }

private:
    std::string m_path;
    std::string m_name;
};

// Waits until the killed compiler is gone, so that it cannot write the
// compiled file once the caller has removed it.
std::nullopt_t Abandon(CChildProcess& compiler) {
    compiler.Kill();
    compiler.Wait(-1);
    return std::nullopt;
}

// Feeds the callback until the compiler ends; the exit status, or nothing
// when the callback ended the compiler.
std::optional<int> FollowCompiler(CChildProcess& compiler, const ChmProgressCallback& progress) {
    std::string line;
    CChildProcess::ReadResult read;
    while ((read = compiler.ReadLine(line, kCompilerPollMs)) != CChildProcess::ReadResult::kEnd) {
        const bool goOn = read == CChildProcess::ReadResult::kTimeout || line.empty()
                              ? progress("") != 0
                              : progress(line) != 0 && progress("") != 0;
        if (!goOn) {
            return Abandon(compiler);
        }
    }
    std::optional<int> status;
    while (!(status = compiler.Wait(kCompilerPollMs))) {
        if (progress("") == 0) {
            return Abandon(compiler);
        }
    }
    return status;
}

bool WasWritten(const CFilePath& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file.GetFullPath(), error) &&
           std::filesystem::file_size(file.GetFullPath(), error) > 0 && !error;
}

}  // namespace

bool ReportsCompilerStep(std::string_view line) {
    for (std::string_view prefix : kStepPrefixes) {
        if (line.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

std::string GetChmCompilerProgram() {
    const char* chosen = std::getenv("TARNWICK_CHM_COMPILER");
    if (chosen == nullptr || *chosen == '\0') {
        return "chmcmd";
    }
    std::string program(chosen);
    if (program.find('/') == std::string::npos) {
        return program;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(program, error);
    return error ? program : absolute.string();
}

CCompilerProject TranslateProjectForCompiler(std::string_view projectText,
                                             const CFilePath& projectFile) {
    CProjectTranslator translator(projectFile);
    CCompilerProject project;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = projectText.find('\n', start);
        std::string_view line = projectText.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        project.text += translator.TranslateLine(line);
        if (end == std::string_view::npos) {
            break;
        }
        project.text += "\r\n";
        start = end + 1;
    }
    project.compiledFile = translator.GetCompiledFile();
    return project;
}

ResultCode CompileHtmlHelpProject(const CFilePath& projectFile,
                                  const ChmProgressCallback& progress) {
    const std::optional<std::string> text = ReadWholeFile(projectFile.GetFullPath());
    if (!text) {
        return ERR_CHM_COMPILE;
    }
    const CCompilerProject project = TranslateProjectForCompiler(*text, projectFile);
    const CTemporaryProject copy(projectFile, project.text);
    if (copy.GetName().empty()) {
        return ERR_CHM_COMPILE;
    }
    const std::string& compiledFile = project.compiledFile.GetFullPath();
    std::remove(compiledFile.c_str());

    CChildProcess compiler;
    if (compiler.Start(GetChmCompilerProgram(),
                       {copy.GetName(), "--verbosity", kFileNotesVerbosity},
                       projectFile.GetDir()) != 0) {
        return ERR_CHM_LOAD_COMPILER;
    }
    const std::optional<int> status = FollowCompiler(compiler, progress);
    if (status == 0 && WasWritten(project.compiledFile)) {
        return ERR_SUCCESS;
    }
    std::remove(compiledFile.c_str());
    return ERR_CHM_COMPILE;
}
