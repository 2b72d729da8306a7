// Pictures the page shows, encoded in memory.
#pragma once

#include <string>

#include "host_picture.h"

namespace qvcli {

// PNG bytes of a 32-bit host picture. `fast` trades size for speed (the
// live preview). Throws CliError when FreeImage fails.
std::string EncodePng(const HostPicture& picture, bool fast);

}  // namespace qvcli
