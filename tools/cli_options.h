// Command-line options: "--name value", "--name=value" and bare flags, with
// the value parsers every command shares. Errors are UsageErrors that name
// the option and the command.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qvcli {

struct OptionSpec {
    std::string_view name;  // without the leading "--"
    bool takesValue;
};

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> values;
    std::set<std::string, std::less<>> flags;
    bool help = false;

    bool has(std::string_view name) const { return values.contains(name) || flags.contains(name); }
    std::optional<std::string> value(std::string_view name) const;
};

// Parses argv[first..] of `command` against its options; "-h"/"--help" sets
// help, "--" ends the options.
ParsedArgs ParseArgs(const std::vector<std::string>& args, std::string_view command,
                     const std::vector<OptionSpec>& options);

// Value parsers; `what` names the option in messages ("--frames").
int64_t ParseInteger(std::string_view text, std::string_view what, int64_t min, int64_t max);
double ParseNumber(std::string_view text, std::string_view what, double min, double max);

struct Size2 {
    int width = 0, height = 0;
    bool operator==(const Size2&) const = default;
};
// "WxH", both from 1 to maxSide.
Size2 ParseSize(std::string_view text, std::string_view what, int maxSide);

// "RRGGBB" or "#RRGGBB" as 0x00RRGGBB.
uint32_t ParseColor(std::string_view text, std::string_view what);

// "A:B", frames A up to but not including B; either end may be left out.
struct FrameRange {
    std::optional<int> first, end;
};
FrameRange ParseFrameRange(std::string_view text, std::string_view what);

}  // namespace qvcli
