#include "support/gif_test_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace qvtest {

std::string ScratchPath(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char& c : test) {
        if (c == '/') c = '_';
    }
    return ::testing::TempDir() + "qv_" + std::to_string(::getpid()) + "_" + test + "_" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

}  // namespace qvtest
