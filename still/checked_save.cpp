#include "still/checked_save.h"

#include <cstdio>

namespace qv::still {

namespace {

std::FILE* Stream(fi_handle handle) { return static_cast<std::FILE*>(handle); }

unsigned DLL_CALLCONV ReadFromFile(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    return static_cast<unsigned>(std::fread(buffer, size, count, Stream(handle)));
}

// Every write is reported as done; whether the bytes arrived is judged from
// the stream's error flag once the saver has finished. A saver told of a
// short write abandons its work along a path that leaks (FreeImage 3.18's
// JPEG saver loses 360 bytes each time).
unsigned DLL_CALLCONV WriteToFile(void* buffer, unsigned size, unsigned count, fi_handle handle)
{
    std::fwrite(buffer, size, count, Stream(handle));
    return count;
}

int DLL_CALLCONV SeekInFile(fi_handle handle, long offset, int origin)
{
    return std::fseek(Stream(handle), offset, origin);
}

long DLL_CALLCONV TellInFile(fi_handle handle) { return std::ftell(Stream(handle)); }

}  // namespace

bool SaveCheckingWrites(FREE_IMAGE_FORMAT fileFormat, FIBITMAP* picture, const char* fileName, int flags)
{
    // "w+b": some savers (TIFF) read back what they wrote.
    std::FILE* file = std::fopen(fileName, "w+b");
    if (file == nullptr) {
        return false;
    }
    FreeImageIO io{ReadFromFile, WriteToFile, SeekInFile, TellInFile};
    // The savers throw when their own allocations fail; the file is closed
    // and the picture released by the caller either way.
    bool saved = false;
    try {
        saved = FreeImage_SaveToHandle(fileFormat, picture, &io, file, flags) != FALSE;
    } catch (...) {
        saved = false;
    }
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return saved && flushed && closed;
}

}  // namespace qv::still
