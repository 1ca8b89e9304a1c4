#include "cli/settings_command.h"

#include <strings.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/printable_text.h"
#include "engine/program_options.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsageError = 2;
// A longer string would not load back, and a failed load resets every setting.
constexpr std::size_t kMaxTextLength = 511;
constexpr std::string_view kUserAgent = "User Agent";

std::string Trimmed(const std::string& text) {
    const char* space = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(space);
    return first == std::string::npos
               ? std::string()
               : text.substr(first, text.find_last_not_of(space) - first + 1);
}

// One program setting: its stored name, its range when it is a number, and
// how it is read from and written to the settings.
struct Setting {
    const char* name;
    bool isText;
    std::uint32_t low;
    std::uint32_t high;
    std::string (*get)(const CProgramOptions& options);
    void (*set)(CProgramOptions& options, const std::string& text, std::uint32_t number);
};

// Whether a password is set is worth knowing; the password itself is never shown.
std::string HiddenPassword(const CProgramOptions& o) {
    return o.GetProxyPassword().empty() ? std::string() : std::string("***");
}

void SetProxyHost(CProgramOptions& o, const std::string& text, std::uint32_t) {
    o.SetProxy(text, o.GetProxyPort(), o.GetProxyUser(), o.GetProxyPassword());
}
void SetProxyPort(CProgramOptions& o, const std::string&, std::uint32_t port) {
    o.SetProxy(o.GetProxyHost(), port, o.GetProxyUser(), o.GetProxyPassword());
}
void SetProxyUser(CProgramOptions& o, const std::string& text, std::uint32_t) {
    o.SetProxy(o.GetProxyHost(), o.GetProxyPort(), Trimmed(text), o.GetProxyPassword());
}
void SetProxyPassword(CProgramOptions& o, const std::string& text, std::uint32_t) {
    o.SetProxy(o.GetProxyHost(), o.GetProxyPort(), o.GetProxyUser(), Trimmed(text));
}

// In the order of the settings store.
const Setting kSettings[] = {
    {"Connection", false, 1, 99,
     [](const CProgramOptions& o) { return std::to_string(o.GetConnectionTimeout()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetConnectionTimeout(static_cast<int>(n));
     }},
    {"Request", false, 1, 99,
     [](const CProgramOptions& o) { return std::to_string(o.GetRequestTimeout()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetRequestTimeout(static_cast<int>(n));
     }},
    {"Retry", false, 0, 99, [](const CProgramOptions& o) { return std::to_string(o.GetRetries()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetRetries(static_cast<int>(n));
     }},
    {"Proxy", true, 0, 0, [](const CProgramOptions& o) { return o.GetProxyHost(); }, SetProxyHost},
    {"Port", false, 0, 65535,
     [](const CProgramOptions& o) { return std::to_string(o.GetProxyPort()); }, SetProxyPort},
    {"User name", true, 0, 0, [](const CProgramOptions& o) { return o.GetProxyUser(); },
     SetProxyUser},
    {"Password", true, 0, 0, HiddenPassword, SetProxyPassword},
    {kUserAgent.data(), false, 0, CProgramOptions::kUserAgentCount - 1,
     [](const CProgramOptions& o) { return std::to_string(o.GetUserAgent()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetUserAgent(static_cast<int>(n));
     }},
    {"Verify Certificates", false, 0, 1,
     [](const CProgramOptions& o) { return std::string(o.GetVerifyCertificates() ? "1" : "0"); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetVerifyCertificates(n != 0);
     }},
    {"Head Requests", false, 0, 1,
     [](const CProgramOptions& o) { return std::string(o.GetHeadRequests() ? "1" : "0"); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetHeadRequests(n != 0); }},
    {"Page Requisites", false, 0, 1,
     [](const CProgramOptions& o) { return std::string(o.GetPageRequisites() ? "1" : "0"); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetPageRequisites(n != 0); }},
    {"Transfer Limit", false, 0, CProgramOptions::kMaxTransferLimit,
     [](const CProgramOptions& o) { return std::to_string(o.GetTransferLimit()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) {
         o.SetTransferLimit(static_cast<int>(n));
     }},
    {"Robots", false, 0, 1,
     [](const CProgramOptions& o) { return std::string(o.GetRobots() ? "1" : "0"); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetRobots(n != 0); }},
    {"Wait", false, 0, CProgramOptions::kMaxWaitMs,
     [](const CProgramOptions& o) { return std::to_string(o.GetWaitMs()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetWaitMs(n); }},
    {"Random Wait", false, 0, 1,
     [](const CProgramOptions& o) { return std::string(o.GetRandomWait() ? "1" : "0"); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetRandomWait(n != 0); }},
    {"Limit Rate", false, 0, std::numeric_limits<std::uint32_t>::max(),
     [](const CProgramOptions& o) { return std::to_string(o.GetLimitRate()); },
     [](CProgramOptions& o, const std::string&, std::uint32_t n) { o.SetLimitRate(n); }},
    {"User Agent Text", true, 0, 0, [](const CProgramOptions& o) { return o.GetUserAgentText(); },
     [](CProgramOptions& o, const std::string& text, std::uint32_t) {
         o.SetUserAgentText(Trimmed(text));
     }},
};

const Setting* FindSetting(const std::string& name) {
    for (const Setting& setting : kSettings) {
        if (strcasecmp(setting.name, name.c_str()) == 0) {
            return &setting;
        }
    }
    return nullptr;
}

// The agent may also be named as the Agent Identity list shows it.
std::string UserAgentIndexText(const std::string& value) {
    for (int index = 0; index < CProgramOptions::kUserAgentCount; ++index) {
        if (strcasecmp(CProgramOptions::UserAgentName(index), value.c_str()) == 0) {
            return std::to_string(index);
        }
    }
    return value;
}

// The sheet's message for a refused value; empty when number holds it.
std::string ReadNumber(const Setting& setting, const std::string& value, std::uint32_t& number) {
    const std::string text = Trimmed(value);
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || rest != end ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return "Please enter a positive integer.";
    }
    if (error == std::errc::result_out_of_range || number < setting.low || number > setting.high) {
        return "Please enter an integer between " + std::to_string(setting.low) + " and " +
               std::to_string(setting.high) + ".";
    }
    return {};
}

void Print(const Setting& setting, const CProgramOptions& options, std::ostream& out) {
    out << setting.name << "=" << PrintableText(setting.get(options)) << "\n";
}

int NoSuchSetting(const std::string& name, std::ostream& err) {
    err << "tarnwick-cli: no setting " << PrintableText(name)
        << " (settings take NAME=VALUE; names as \"tarnwick-cli settings\" prints them)\n";
    return kUsageError;
}

// "settings NAME" prints that one setting.
int PrintOne(const std::string& name, const CProgramOptions& options, std::ostream& out,
             std::ostream& err) {
    const Setting* setting = FindSetting(Trimmed(name));
    if (setting == nullptr) {
        return NoSuchSetting(name, err);
    }
    Print(*setting, options, out);
    return 0;
}

// Applies one NAME=VALUE; the exit status when it is refused, else 0.
int Apply(const std::string& argument, CProgramOptions& options, std::ostream& err) {
    const std::size_t equals = argument.find('=');
    const Setting* setting =
        equals == std::string::npos ? nullptr : FindSetting(argument.substr(0, equals));
    if (setting == nullptr) {
        return NoSuchSetting(argument.substr(0, equals), err);
    }
    std::string value = argument.substr(equals + 1);
    if (setting->name == kUserAgent) {
        value = UserAgentIndexText(value);
    }
    std::uint32_t number = 0;
    std::string refusal;
    if (setting->isText && value.size() > kMaxTextLength) {
        refusal = "Please enter no more than " + std::to_string(kMaxTextLength) + " characters.";
    } else if (setting->isText && HasControlCharacter(value)) {
        // A line break would end the line that prints the setting, and ESC
        // or BEL would reach the terminal of whoever prints it.
        refusal = "Please enter no control characters (line breaks, tabs, ESC and the like).";
    } else if (!setting->isText) {
        refusal = ReadNumber(*setting, value, number);
    }
    if (!refusal.empty()) {
        err << "tarnwick-cli: " << setting->name << ": " << refusal << "\n";
        return kRefused;
    }
    setting->set(options, value, number);
    return 0;
}

}  // namespace

std::string DescribeUserAgentPresets() {
    std::string text = "User Agent presets (User Agent Text, when set, is sent instead):\n";
    for (int index = 0; index < CProgramOptions::kUserAgentCount; ++index) {
        text += "  " + std::to_string(index) + " " + CProgramOptions::UserAgentName(index) + ": " +
                CProgramOptions::PresetUserAgentString(index) + "\n";
    }
    return text;
}

int RunSettingsCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("settings", arguments, line, out, err, status)) {
        return status;
    }
    CProgramOptions options;
    options.Load();
    if (line.Positional().empty()) {
        for (const Setting& setting : kSettings) {
            Print(setting, options, out);
        }
        out << DescribeUserAgentPresets();
        return 0;
    }
    if (line.Positional().size() == 1 && line.Positional().front().find('=') == std::string::npos) {
        return PrintOne(line.Positional().front(), options, out, err);
    }
    for (const std::string& argument : line.Positional()) {
        if (status = Apply(argument, options, err); status != 0) {
            return status;
        }
    }
    // As the sheet leaves it: a proxy without an address or a port is off,
    // and an unused proxy keeps no address, port or credentials.
    if (!options.IsProxyInUse()) {
        options.SetProxy("", 0);
    }
    options.Save();
    return 0;
}
