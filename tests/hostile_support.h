// Helpers for the tests that drive the shared library with hostile
// arguments: a per-process scratch directory and the count of open file
// descriptors (host pictures: support/host_picture.h).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <quorvane/host.h>

#include "support/host_picture.h"

namespace hostile {

// A directory of this process's own, removed with everything in it at exit.
inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/quorvane-hostile-XXXXXX";
        const char* made = mkdtemp(pattern);
        std::string path = made ? made : "/tmp";
        static std::string removeAtExit;
        removeAtExit = path;
        std::atexit([] {
            if (removeAtExit == "/tmp") return;
            const std::string command = "rm -rf '" + removeAtExit + "'";
            if (std::system(command.c_str()) != 0) std::fputs("scratch directory not removed\n", stderr);
        });
        return path;
    }();
    return dir;
}

inline std::string ScratchPath(const std::string& name) { return ScratchDir() + "/" + name; }

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[65536];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

inline int OpenDescriptorCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count - 1;  // the directory stream itself
}

inline bool RunningUnderAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
    return true;
#  else
    return false;
#  endif
#else
    return false;
#endif
}

}  // namespace hostile
