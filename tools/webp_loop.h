// The loop count of an animated WebP file, which FFmpeg's animated WebP
// encoder sets by itself (to 1, playing once) with no option to change it.
#pragma once

#include <string>

namespace qvcli {

// Rewrites the file at `path` with `loopCount` in its animation header.
// Throws CliError naming `shownName` when it cannot.
void SetWebPLoopCount(const std::string& path, int loopCount, const std::string& shownName);

}  // namespace qvcli
