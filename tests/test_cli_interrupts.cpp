// Stopping the command: SIGINT and SIGTERM at any moment of a run end it
// with status 130, the interrupted message, and no temporary file left; a
// second request ends it at once, the same way. Temporary files that a
// killed run left behind are removed by the next run to that output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "stale_partial_files.h"
#include "support/cli_run.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Finished {
    int status = -1;  // exit status, -1 if killed by a signal
    int signal = 0;   // the signal that killed it
    std::string err;
};

// The command started in `dir` with stdout and stderr in files, so that the
// test can signal it while it runs.
class RunningCli {
public:
    RunningCli(const fs::path& dir, std::vector<std::string> args) : dir_(dir)
    {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    pid_t pid() const { return pid_; }
    void Signal(int signal) const { kill(pid_, signal); }
    Finished Wait()
    {
        int raw = 0;
        waitpid(pid_, &raw, 0);
        Finished f;
        if (WIFEXITED(raw)) f.status = WEXITSTATUS(raw);
        if (WIFSIGNALED(raw)) f.signal = WTERMSIG(raw);
        std::ifstream in(dir_ / "stderr.txt");
        std::ostringstream s;
        s << in.rdbuf();
        f.err = s.str();
        fs::remove(dir_ / "stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        return f;
    }

private:
    fs::path dir_;
    pid_t pid_ = -1;
};

std::vector<std::string> Entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

bool HasPartialFile(const fs::path& dir)
{
    for (const std::string& name : Entries(dir))
        if (name.find(".partial-") != std::string::npos) return true;
    return false;
}

// A process id that no process has: a child that has ended and been reaped.
pid_t DeadPid()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

class CliInterrupts : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Large enough that a run takes a while on any machine.
        std::mt19937 random(5);
        qv::test::RgbPicture p{600, 400, std::vector<uint8_t>(600 * 400 * 3)};
        for (uint8_t& b : p.rgb) b = static_cast<uint8_t>(random());
        qv::test::WritePpm(dir_ / "a.ppm", p);
        qv::test::WritePpm(dir_ / "b.ppm", p);
        std::ofstream(dir_ / "p.txt") << "100 100 300 200\n400 300 200 100\n";
    }
    std::vector<std::string> Morph(const std::string& out, int frames)
    {
        return {"morph", "a.ppm", "b.ppm", "--points", "p.txt", "--out", out, "--frames", std::to_string(frames),
                "--bilinear", "--quiet"};
    }
    qv::test::ScratchDir dir_{"interrupts"};
};

TEST_F(CliInterrupts, ASignalAtAnyMomentStopsTheRunAndRemovesTheTemporaryFile)
{
    std::mt19937 random(11);
    const std::string outs[] = {"m.avi", "m.gif", "s/f_%03d.png"};
    for (int run = 0; run < 9; ++run) {
        const std::string out = outs[run % 3];
        RunningCli cli(dir_.path(), Morph(out, 400));
        ASSERT_GT(cli.pid(), 0);
        // Anywhere from loading the pictures to well into the frames.
        const auto delay = std::chrono::milliseconds(100 + random() % 1200);
        std::this_thread::sleep_for(delay);
        const int signal = run % 2 == 0 ? SIGTERM : SIGINT;
        cli.Signal(signal);
        const auto signalled = std::chrono::steady_clock::now();
        const Finished f = cli.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - signalled, 6s) << out;
        EXPECT_FALSE(HasPartialFile(dir_.path())) << out;
        EXPECT_FALSE(fs::exists(dir_ / "m.avi"));
        EXPECT_FALSE(fs::exists(dir_ / "m.gif"));
        fs::remove_all(dir_ / "s");
        if (f.signal == signal && f.err.empty()) {
            // Before the command has set up its handlers: it had not
            // started on anything either (checked above).
            std::printf("killed before the handlers were set, %d ms after the start\n", static_cast<int>(delay.count()));
            continue;
        }
        EXPECT_EQ(f.status, 130) << out << ": " << f.err;
        const std::string message = "quorvane: interrupted";
        EXPECT_EQ(f.err.substr(0, message.size()), message) << f.err;
        // Once the output is known the message names it.
        if (f.err != "quorvane: interrupted\n") {
            EXPECT_EQ(f.err.find("quorvane: interrupted; '" + out + "' was not completed"), 0u) << f.err;
        }
    }
}

// Stills that were complete stay; the status is the same as for a GIF or AVI.
TEST_F(CliInterrupts, InterruptedStillsExitLikeTheOtherOutputs)
{
    RunningCli cli(dir_.path(), Morph("s/f_%03d.png", 400));
    for (int i = 0; i < 200 && !fs::exists(dir_ / "s/f_001.png"); ++i) std::this_thread::sleep_for(20ms);
    cli.Signal(SIGINT);
    const Finished f = cli.Wait();
    EXPECT_EQ(f.status, 130) << f.err;
    EXPECT_NE(f.err.find("stills were written: s/f_000.png ... "), std::string::npos) << f.err;
    EXPECT_FALSE(HasPartialFile(dir_.path()));
}

// The second request does not wait for the frame in progress.
TEST_F(CliInterrupts, ASecondSignalEndsTheRunAtOnceAndStillCleansUp)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        RunningCli cli(dir_.path(), Morph("m.avi", 400));
        for (int i = 0; i < 200 && !HasPartialFile(dir_.path()); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(HasPartialFile(dir_.path()));
        cli.Signal(signal);
        cli.Signal(signal);
        const Finished f = cli.Wait();
        EXPECT_EQ(f.status, 130) << f.err;
        EXPECT_EQ(f.err, "quorvane: interrupted; 'm.avi' was not completed\n");
        EXPECT_FALSE(HasPartialFile(dir_.path()));
        EXPECT_FALSE(fs::exists(dir_ / "m.avi"));
    }
}

TEST_F(CliInterrupts, StaleTemporaryFilesOfDeadRunsAreRemovedByTheNextRun)
{
    const pid_t dead = DeadPid();
    const std::string alive = std::to_string(getpid());
    fs::create_directory(dir_ / "s");
    const std::vector<std::string> stale = {".m.gif.partial-" + std::to_string(dead),
                                            "s/.f_007.png.partial-" + std::to_string(dead)};
    const std::vector<std::string> kept = {".m.gif.partial-" + alive,                  // a run still going
                                           ".other.gif.partial-" + std::to_string(dead),  // another output
                                           "s/.g_007.png.partial-" + std::to_string(dead),
                                           ".m.gif.partial-12x", "s/.f_x.png.partial-" + std::to_string(dead)};
    for (const std::string& name : stale) std::ofstream(dir_ / name) << "half a file";
    for (const std::string& name : kept) std::ofstream(dir_ / name) << "half a file";

    qv::test::CliResult r = qv::test::RunProgram(QUORVANE_CLI_PATH, Morph("m.gif", 2), dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quorvane: note: removed '" + stale[0] + "', left unfinished by an earlier run that was killed\n");
    r = qv::test::RunProgram(QUORVANE_CLI_PATH, Morph("s/f_%03d.png", 2), dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quorvane: note: removed '" + stale[1] + "', left unfinished by an earlier run that was killed\n");
    for (const std::string& name : stale) EXPECT_FALSE(fs::exists(dir_ / name)) << name;
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir_ / name)) << name;
}

// The matching itself: frame names of a pattern, "%%", and plain names.
TEST(StalePartialFiles, OnlyTheOutputsOwnNamesOfDeadProcessesAreRemoved)
{
    qv::test::ScratchDir dir("stale");
    const std::string dead = std::to_string(DeadPid());
    for (const char* name : {".a%b_0012.tif.partial-", ".a%b_12.tif.partial-", ".a%b_.tif.partial-", ".ab_0012.tif.partial-",
                             ".x.tif.partial-"})
        std::ofstream(dir / (name + dead)) << "x";
    std::vector<std::string> removed = qvcli::RemoveStalePartialFiles((dir / "a%%b_%04d.tif").string(), true);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<std::string>{(dir / (".a%b_0012.tif.partial-" + dead)).string()}));
    removed = qvcli::RemoveStalePartialFiles((dir / "x.tif").string(), false);
    EXPECT_EQ(removed, (std::vector<std::string>{(dir / (".x.tif.partial-" + dead)).string()}));
    EXPECT_EQ(qvcli::RemoveStalePartialFiles((dir / "none/x.tif").string(), false), std::vector<std::string>{});
}

}  // namespace
