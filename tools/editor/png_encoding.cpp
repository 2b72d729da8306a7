#include "png_encoding.h"

#include <FreeImage.h>

#include <memory>

#include "cli_error.h"
#include "picture_loading.h"

namespace qvcli {

std::string EncodePng(const HostPicture& picture, bool fast)
{
    const std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)> bitmap(HostToFreeImage(picture), FreeImage_Unload);
    if (!bitmap) throw CliError("no memory to encode a picture");
    const std::unique_ptr<FIMEMORY, void (*)(FIMEMORY*)> memory(FreeImage_OpenMemory(), FreeImage_CloseMemory);
    if (!memory || !FreeImage_SaveToMemory(FIF_PNG, bitmap.get(), memory.get(), fast ? PNG_Z_BEST_SPEED : PNG_DEFAULT))
        throw CliError("cannot encode a picture as PNG");
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size)) throw CliError("cannot encode a picture as PNG");
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace qvcli
