// Temporary files that a run killed outright (SIGKILL, a crash, a power
// cut) leaves next to its output: ".NAME.partial-PID". A later run to the
// same output removes those whose process no longer runs.
#pragma once

#include <string>
#include <vector>

#include "output_files.h"

namespace qvcli {

// Removes the stale temporary files of the output `path` (with `numbered`,
// a still pattern: of any of its frames) and returns their paths. Files of
// running processes, this one included, are left alone.
std::vector<std::string> RemoveStalePartialFiles(const std::string& path, bool numbered);

// The same, printing a note on stderr for each file removed.
void CleanUpStalePartialFiles(const std::string& path, bool numbered);

}  // namespace qvcli
