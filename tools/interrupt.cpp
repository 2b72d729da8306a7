#include "interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace qvcli {

namespace {

// Time the normal stop gets before the process ends from the handler. A
// frame in progress is finished first, which takes well under this.
constexpr unsigned kGraceSeconds = 3;
constexpr std::size_t kPathBytes = 4096;

volatile std::sig_atomic_t interrupted = 0;

// What the handler reads: fixed buffers guarded by lock-free atomics, since
// it may run at any moment, also while a slot is being filled.
enum SlotState : int { kEmpty, kFilling, kLive };
struct TrackedPath {
    std::atomic<int> state{kEmpty};
    char path[kPathBytes] = {};
};
TrackedPath tracked[16];

char messages[2][kPathBytes + 64];
std::atomic<int> currentMessage{-1};  // -1: none set, the plain message

static_assert(std::atomic<int>::is_always_lock_free);

void WriteAll(const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Only async-signal-safe calls from here on: unlink, write, _exit.
[[noreturn]] void EndNow()
{
    for (TrackedPath& t : tracked)
        if (t.state.load() == kLive) unlink(t.path);
    const int m = currentMessage.load();
    WriteAll(m >= 0 ? messages[m] : "quorvane: interrupted\n");
    _exit(kExitInterrupted);
}

extern "C" void NoteInterrupt(int)
{
    if (interrupted != 0) EndNow();
    interrupted = 1;
    alarm(kGraceSeconds);
}

extern "C" void GraceOver(int) { EndNow(); }

void Install(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Both stop requests and the deadline are held off while one runs.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGALRM);
    sigaction(signal, &action, nullptr);
}

}  // namespace

void CatchInterrupts()
{
    Install(SIGINT, NoteInterrupt);
    Install(SIGTERM, NoteInterrupt);
    Install(SIGALRM, GraceOver);
}

bool Interrupted() { return interrupted != 0; }

void KeepStoppingCleanly() { alarm(0); }

std::string InterruptedMessage(const std::string& output)
{
    return "interrupted; '" + output + "' was not completed";
}

void SetInterruptedOutput(const std::string& output)
{
    // Written into the buffer not in use, then switched to in one store.
    const int next = currentMessage.load() == 0 ? 1 : 0;
    std::string text = "quorvane: " + InterruptedMessage(output) + "\n";
    if (text.size() >= sizeof messages[next]) text = "quorvane: interrupted\n";
    std::memcpy(messages[next], text.c_str(), text.size() + 1);
    currentMessage.store(next);
}

void TrackTemporaryFile(const std::string& path)
{
    if (path.size() >= kPathBytes) return;
    for (TrackedPath& t : tracked) {
        int empty = kEmpty;
        if (!t.state.compare_exchange_strong(empty, kFilling)) continue;
        std::memcpy(t.path, path.c_str(), path.size() + 1);
        t.state.store(kLive);
        return;
    }
}

void UntrackTemporaryFile(const std::string& path)
{
    for (TrackedPath& t : tracked) {
        if (t.state.load() == kLive && path == t.path) {
            t.state.store(kEmpty);
            return;
        }
    }
}

}  // namespace qvcli
