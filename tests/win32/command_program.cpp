// Starts another Windows program inside this host's Wine session (starting
// a new session from the test costs far more) and waits for it, so that a
// second host can run in the same batch.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"

int RunProgram(const char* commandLine, const char* seconds)
{
    std::string line(commandLine);  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("started=0 error=%lu\n", GetLastError());
        return 1;
    }
    const DWORD limit = DWORD(std::strtoul(seconds, nullptr, 10)) * 1000;
    const bool finished = WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0;
    DWORD status = 0;
    if (finished) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("started=1 finished=%d status=%lu\n", finished ? 1 : 0, status);
    return finished && status == 0 ? 0 : 1;
}
