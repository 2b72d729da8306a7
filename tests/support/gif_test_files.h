// File helpers for the GIF and still-image tests: scratch paths, whole-file
// reads, and running an outside tool to capture what it prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

// A path in this process's scratch directory (removed at exit), unique to
// the running test.
std::string ScratchPath(const std::string& name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

struct ToolRun {
    int exitCode = -1;
    std::vector<uint8_t> output;  // standard output, raw bytes
    std::string text() const { return std::string(output.begin(), output.end()); }
};

// Runs a shell command; standard error is discarded.
ToolRun RunTool(const std::string& command);

// True when `program` is on the PATH.
bool HaveTool(const std::string& program);

}  // namespace qvtest
