// Messages of FreeImage and of the libtiff it reads TIFF files with, kept
// instead of printed. libtiff writes its errors and warnings to stderr
// unless told otherwise, and FreeImage asks it for tags that ordinary files
// lack, so every TIFF that ImageMagick writes printed dozens of "unknown
// tag" lines. They are kept for the picture being loaded and shown only
// when it fails, as part of the error.
#pragma once

#include <string>

namespace qvcli {

// Routes both libraries' messages to this thread's list (once per process)
// and empties the list; call before loading a picture.
void StartKeepingImageMessages();

// " (first message; second message)" with up to three distinct messages
// kept since the last start, or "" when there were none.
std::string KeptImageMessages();

}  // namespace qvcli
