#include "support/gif_test_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace qvtest {

namespace {

// One directory per test process, removed with everything in it when the
// process exits normally (forked death-test children leave it alone).
class ScratchDirectory {
public:
    ScratchDirectory()
        : path_(std::filesystem::path(::testing::TempDir()) / ("qv_files_" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace

std::string ScratchPath(const std::string& name)
{
    static const ScratchDirectory directory;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char& c : test) {
        if (c == '/') c = '_';
    }
    return (directory.path() / (test + "_" + name)).string();
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
