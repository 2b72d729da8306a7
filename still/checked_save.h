// FreeImage's saver on a file that this library opens and closes itself, so
// that a write the system refused (a full disk, a failing device) counts as
// a failed save. FreeImage_Save does the same steps but never looks at the
// stream's state, and reports such a save as done.
#pragma once

#include <FreeImage.h>

namespace qv::still {

// Same file mode, I/O calls and bytes as FreeImage_Save(fileFormat, picture,
// fileName, flags). True only when the saver succeeded and every byte
// reached the file.
bool SaveCheckingWrites(FREE_IMAGE_FORMAT fileFormat, FIBITMAP* picture, const char* fileName, int flags);

}  // namespace qv::still
