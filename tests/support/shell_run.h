// Running shell command lines from the tests (outside tools such as ffmpeg,
// ImageMagick and giflib's utilities) and reading what they print.
// Header-only, so that the host tests use it too.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qv::test {

// The text as one word for the shell, in single quotes.
inline std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

// Runs a command line; returns what it printed on standard output (its
// standard error goes where the test's does) and, in `status`, its exit
// status, -1 when it did not run or did not exit normally.
inline std::string ShellOutput(const std::string& commandLine, int* status = nullptr)
{
    std::string output;
    std::FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int raw = ::pclose(pipe);
    if (status != nullptr) *status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

// A tool's run as raw bytes, its standard error discarded.
struct ToolRun {
    int exitCode = -1;
    std::vector<uint8_t> output;  // standard output, raw bytes
    std::string text() const { return std::string(output.begin(), output.end()); }
};

inline ToolRun RunTool(const std::string& command)
{
    ToolRun run;
    const std::string out = ShellOutput(command + " 2>/dev/null", &run.exitCode);
    run.output.assign(out.begin(), out.end());
    return run;
}

// True when `program` is on the PATH.
inline bool HaveTool(const std::string& program) { return RunTool("command -v " + program).exitCode == 0; }

}  // namespace qv::test
