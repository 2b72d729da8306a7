#include "support/gif_test_files.h"

#include <sys/wait.h>

#include <cstdio>

namespace qv::test {

ToolRun RunTool(const std::string& command)
{
    ToolRun run;
    const std::string quiet = command + " 2>/dev/null";
    std::FILE* pipe = ::popen(quiet.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    uint8_t buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.output.insert(run.output.end(), buffer, buffer + got);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool HaveTool(const std::string& program)
{
    return RunTool("command -v " + program).exitCode == 0;
}

}  // namespace qv::test
