// The loop count of an animated WebP file, which FFmpeg's animated WebP
// encoder always leaves at 0 (for ever).
#pragma once

#include <string>

namespace qvcli {

// Rewrites the file at `path` with `loopCount` in its animation header.
// Throws CliError naming `shownName` when it cannot.
void SetWebPLoopCount(const std::string& path, int loopCount, const std::string& shownName);

}  // namespace qvcli
