// Scratch folders and whole-file reads and writes for every test. Header-only
// (public headers and the standard library only), so that the host tests,
// which see nothing of the project but the shared library, use the same type
// as the unit tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace qv::test {

// A fresh folder under the system's temporary area, named after `label`,
// removed with everything in it when the object goes. Only the process that
// made it removes it, so a forked death-test child that exits normally
// leaves its parent's files alone.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& label = "test") : owner_(::getpid())
    {
        std::string pattern = (std::filesystem::temp_directory_path() / ("qv-" + label + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder " + pattern);
        path_ = pattern;
    }
    ~ScratchDir()
    {
        if (::getpid() != owner_) return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // The same path as a string, for the C calls that take one.
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
    pid_t owner_;
    std::filesystem::path path_;
};

// The scratch folder of this process, removed at exit.
inline const ScratchDir& ProcessScratchDir()
{
    static const ScratchDir dir("process");
    return dir;
}

// A path in this process's scratch folder, unique to the running test.
inline std::string ScratchPath(const std::string& name)
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char& c : test) {
        if (c == '/') c = '_';
    }
    return ProcessScratchDir().Path(test + "_" + name);
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qv::test
