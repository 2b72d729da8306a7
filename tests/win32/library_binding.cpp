#include "library_binding.h"

namespace {

const ExportName kNames[int(Export::Count)] = {
    {"_SetVars@16", 16},
    {"_DrawMorph@76", 76},
    {"_RenderCompressedStart@32", 32},
    {"_RenderCompressed@16", 16},
    {"_RenderCompressedEnd@4", 4},
    {"_GetAVIinfo@20", 20},
    {"_GetAVIframe@16", 16},
    {"_SaveToFreeImage@32", 32},
    {"_RenderAnimatedGIFStart@28", 28},
    {"_RenderAnimatedGIF@16", 16},
    {"_RenderAnimatedGIFEnd@4", 4},
};

}  // namespace

const ExportName& NameOf(Export e) { return kNames[int(e)]; }

Library::Library(const char* path) : module_(LoadLibraryA(path))
{
    if (module_ == nullptr) return;
    for (int i = 0; i < int(Export::Count); ++i)
        addresses_[i] = reinterpret_cast<const void*>(GetProcAddress(module_, kNames[i].decorated));
}

Library::~Library()
{
    if (module_ != nullptr) FreeLibrary(module_);
}

bool Library::AllBound() const
{
    for (const void* address : addresses_)
        if (address == nullptr) return false;
    return loaded();
}
