#include "stale_partial_files.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace qvcli {

namespace {

constexpr std::string_view kMarker = ".partial-";

bool ProcessRuns(long pid)
{
    if (pid <= 0 || pid == static_cast<long>(getpid())) return true;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool AllDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::vector<std::string> RemoveStalePartialFiles(const std::string& path, bool numbered)
{
    namespace fs = std::filesystem;
    std::vector<std::string> removed;
    const fs::path output(path);
    const std::string patternName = output.filename().string();
    // A frame number field in a folder name gives no one folder to look in.
    if (numbered && !HasFrameNumberField(patternName) && HasFrameNumberField(path)) return removed;
    const fs::path dir = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return removed;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        const std::size_t marker = name.rfind(kMarker);
        if (name.size() < 2 || name[0] != '.' || marker == std::string::npos || marker < 2) continue;
        const std::string_view pidText = std::string_view(name).substr(marker + kMarker.size());
        long pid = 0;
        if (!AllDigits(pidText) || std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid).ec != std::errc())
            continue;
        const std::string_view outputName = std::string_view(name).substr(1, marker - 1);
        const bool ours = numbered ? MatchesFrameFileName(patternName, outputName) : outputName == patternName;
        if (!ours || ProcessRuns(pid)) continue;
        std::error_code removeError;
        if (!entry.is_directory(removeError) && fs::remove(entry.path(), removeError))
            removed.push_back((output.parent_path() / name).string());
    }
    return removed;
}

void CleanUpStalePartialFiles(const std::string& path, bool numbered)
{
    for (const std::string& stale : RemoveStalePartialFiles(path, numbered))
        std::fprintf(stderr, "quorvane: note: removed '%s', left unfinished by an earlier run that was killed\n",
                     stale.c_str());
}

}  // namespace qvcli
