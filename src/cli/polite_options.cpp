#include "cli/polite_options.h"

#include <charconv>
#include <filesystem>
#include <limits>

#include "cli/command_line.h"
#include "engine/program_options.h"
#include "engine/project_settings.h"

namespace {

constexpr std::uint64_t kKibibyte = 1024;

std::uint64_t UnitOf(char suffix) {
    switch (suffix) {
        case 'k':
        case 'K':
            return kKibibyte;
        case 'm':
        case 'M':
            return kKibibyte * kKibibyte;
        default:
            return 0;
    }
}

bool ReadWait(const CCommandLine& line, CProgramOptions& options, std::string& error) {
    const std::string value = line.Value("--wait");
    std::uint32_t ms = 0;
    const char* end = value.data() + value.size();
    const auto [rest, failure] = std::from_chars(value.data(), end, ms);
    if (value.empty() || failure != std::errc() || rest != end ||
        ms > CProgramOptions::kMaxWaitMs) {
        error =
            "--wait takes milliseconds from 0 to " + std::to_string(CProgramOptions::kMaxWaitMs);
        return false;
    }
    options.SetWaitMs(ms);
    return true;
}

// A file named relative to the folder the command runs in keeps naming that
// file when the project is opened from elsewhere.
std::string AbsolutePath(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    return absolute.empty() ? path : absolute.string();
}

}  // namespace

bool ReadByteRate(const std::string& text, std::uint32_t& bytesPerSecond) {
    std::uint64_t unit = 1;
    std::string digits = text;
    if (!digits.empty() && UnitOf(digits.back()) != 0) {
        unit = UnitOf(digits.back());
        digits.pop_back();
    }
    std::uint64_t number = 0;
    const char* end = digits.data() + digits.size();
    const auto [rest, failure] = std::from_chars(digits.data(), end, number);
    if (digits.empty() || failure != std::errc() || rest != end ||
        number > std::numeric_limits<std::uint32_t>::max() / unit) {
        return false;
    }
    bytesPerSecond = static_cast<std::uint32_t>(number * unit);
    return true;
}

bool ReadPoliteRunOptions(const CCommandLine& line, CProgramOptions& options, std::string& error) {
    if (line.IsOn("--no-robots")) {
        options.SetRobots(false);
    }
    if (line.Has("--wait") && !ReadWait(line, options, error)) {
        return false;
    }
    if (line.IsOn("--random-wait")) {
        options.SetRandomWait(true);
    }
    if (line.Has("--limit-rate")) {
        std::uint32_t rate = 0;
        if (!ReadByteRate(line.Value("--limit-rate"), rate)) {
            error = "--limit-rate takes bytes per second, with k or m for KiB or MiB (200k)";
            return false;
        }
        options.SetLimitRate(rate);
    }
    if (line.Has("--user-agent")) {
        options.SetUserAgentText(line.Value("--user-agent"));
    }
    if (line.Has("--save-cookies")) {
        options.SetSaveCookiesFile(AbsolutePath(line.Value("--save-cookies")));
    }
    return true;
}

bool IsRequestRuleOption(std::string_view name) {
    return name == "--include" || name == "--exclude" || name == "--load-cookies" ||
           name == "--header";
}

bool ApplyRequestRules(const CCommandLine& line, CProjectSettings& project, std::string& error) {
    CUrlPatterns patterns = project.GetUrlPatterns();
    std::vector<CProjectSettings::Header> headers = project.GetHeaders();
    for (const auto& [name, value] : line.Options()) {
        std::string why;
        if ((name == "--include" || name == "--exclude") &&
            !patterns.AddLine((name == "--include" ? "+" : "-") + value, why)) {
            error = name + " " + value + ": " + why;
            return false;
        }
        if (name == "--header") {
            CProjectSettings::Header header;
            if (!CProjectSettings::ParseHeaderLine(value, header)) {
                error =
                    "--header takes \"Name: value\" (a header name, a colon and a value "
                    "on one line), not: " +
                    value;
                return false;
            }
            headers.push_back(std::move(header));
        }
    }
    // Every header was read by the same rules that SetHeaders checks.
    project.SetHeaders(std::move(headers));
    project.GetUrlPatterns() = std::move(patterns);
    if (line.Has("--load-cookies")) {
        project.SetCookiesFile(AbsolutePath(line.Value("--load-cookies")));
    }
    return true;
}
