// Helpers for the tests that drive the shared library with hostile
// arguments: the count of open file descriptors (host pictures:
// support/host_picture.h; scratch paths: support/scratch_files.h).
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
#include "support/scratch_files.h"

namespace hostile {

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
