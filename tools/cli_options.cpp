#include "cli_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "cli_error.h"

namespace qvcli {

std::optional<std::string> ParsedArgs::value(std::string_view name) const
{
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, std::string_view command,
                     const std::vector<OptionSpec>& options)
{
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
            // A lone "-" or a negative number is an ordinary argument.
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            continue;
        }
        std::string_view body = std::string_view(arg).substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = body.find('='); eq != std::string_view::npos) {
            inlineValue = std::string(body.substr(eq + 1));
            body = body.substr(0, eq);
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& o : options)
            if (o.name == body) spec = &o;
        if (spec == nullptr)
            throw UsageError("unknown option --" + std::string(body) + " for '" + std::string(command) +
                             "' (see quorvane " + std::string(command) + " --help)");
        const std::string name(body);
        if (!spec->takesValue) {
            if (inlineValue) throw UsageError("--" + name + " takes no value");
            parsed.flags.insert(name);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) throw UsageError("--" + name + " needs a value");
            inlineValue = args[++i];
        }
        parsed.values[name] = *inlineValue;
    }
    return parsed;
}

int64_t ParseInteger(std::string_view text, std::string_view what, int64_t min, int64_t max)
{
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        throw UsageError(std::string(what) + ": '" + std::string(text) + "' is not a whole number");
    if (value < min || value > max)
        throw UsageError(std::string(what) + " must be from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not " + std::string(text));
    return value;
}

double ParseNumber(std::string_view text, std::string_view what, double min, double max)
{
    const std::string copy(text);
    char* end = nullptr;
    const double value = copy.empty() ? NAN : std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value))
        throw UsageError(std::string(what) + ": '" + copy + "' is not a number");
    if (value < min || value > max) {
        auto show = [](double v) {
            std::string s = std::to_string(v);
            s.erase(s.find_last_not_of('0') + 1);
            if (!s.empty() && s.back() == '.') s.pop_back();
            return s;
        };
        throw UsageError(std::string(what) + " must be from " + show(min) + " to " + show(max) + ", not " + copy);
    }
    return value;
}

Size2 ParseSize(std::string_view text, std::string_view what, int maxSide)
{
    const auto x = text.find_first_of("xX");
    if (x == std::string_view::npos)
        throw UsageError(std::string(what) + ": '" + std::string(text) + "' is not a size like 320x240");
    const std::string side = std::string(what) + " (" + std::string(text) + ")";
    Size2 size;
    size.width = static_cast<int>(ParseInteger(text.substr(0, x), side + " width", 1, maxSide));
    size.height = static_cast<int>(ParseInteger(text.substr(x + 1), side + " height", 1, maxSide));
    return size;
}

uint32_t ParseColor(std::string_view text, std::string_view what)
{
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '#') digits.remove_prefix(1);
    uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, 16);
    if (digits.size() != 6 || ec != std::errc() || ptr != end)
        throw UsageError(std::string(what) + ": '" + std::string(text) +
                         "' is not a colour like FF8000 (red, green, blue in hex)");
    return value;
}

FrameRange ParseFrameRange(std::string_view text, std::string_view what)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        throw UsageError(std::string(what) + ": '" + std::string(text) +
                         "' is not a range like 0:50 (frames 0 to 49)");
    FrameRange range;
    const std::string_view a = text.substr(0, colon), b = text.substr(colon + 1);
    const std::string label = std::string(what) + " (" + std::string(text) + ")";
    if (!a.empty()) range.first = static_cast<int>(ParseInteger(a, label + " start", 0, 32767));
    if (!b.empty()) range.end = static_cast<int>(ParseInteger(b, label + " end", 0, 32767));
    if (range.first && range.end && *range.end <= *range.first)
        throw UsageError(label + " is empty: the end frame is not included, so it must be above the start");
    return range;
}

}  // namespace qvcli
