// FreeImage.dll is bound lazily (a delay-load import library): the first
// call into it loads the module, and a missing module would raise an
// exception there. Loading it here first turns that into a plain answer.
#include <windows.h>

#include "platform/image_library.h"

namespace qv::platform {

bool ImageLibraryAvailable()
{
    // Kept loaded for the life of the process, as the delay-load helper
    // keeps its own reference.
    static const bool loaded = LoadLibraryA("FreeImage.dll") != nullptr;
    return loaded;
}

}  // namespace qv::platform
