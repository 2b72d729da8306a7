// The portable build links FreeImage directly: it is always there.
#include "platform/image_library.h"

namespace qv::platform {

bool ImageLibraryAvailable() { return true; }

}  // namespace qv::platform
