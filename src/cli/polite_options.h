// The options that make a crawl polite and let it in where a site asks for
// more: robots.txt, waits, a rate limit and an own identity for one run, and
// per project the URL patterns, a cookies file and request headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CCommandLine;
class CProgramOptions;
class CProjectSettings;

// "200k" as 204800: a whole number of bytes, or of KiB with k, MiB with m
// (either case), as wget reads it. False for anything else or more than
// fits in 32 bits.
bool ReadByteRate(const std::string& text, std::uint32_t& bytesPerSecond);

// --no-robots, --wait, --random-wait, --limit-rate, --user-agent and
// --save-cookies onto this run's copy of the program settings. False with a
// message in error for a value not understood.
bool ReadPoliteRunOptions(const CCommandLine& line, CProgramOptions& options, std::string& error);

// --include and --exclude (in the order given, after the project's own
// patterns), --load-cookies and --header (after the project's own headers).
// False with a message in error, the project unchanged, for a bad pattern or
// header.
bool ApplyRequestRules(const CCommandLine& line, CProjectSettings& project, std::string& error);

// Whether ApplyRequestRules reads the option, so that the other readers of a
// project's options pass it by.
bool IsRequestRuleOption(std::string_view name);
