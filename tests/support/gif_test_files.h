// Running an outside tool from the GIF and still-image tests to capture what
// it prints (scratch paths and file reads: support/scratch_files.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch_files.h"

namespace qv::test {

struct ToolRun {
    int exitCode = -1;
    std::vector<uint8_t> output;  // standard output, raw bytes
    std::string text() const { return std::string(output.begin(), output.end()); }
};

// Runs a shell command; standard error is discarded.
ToolRun RunTool(const std::string& command);

// True when `program` is on the PATH.
bool HaveTool(const std::string& program);

}  // namespace qv::test
