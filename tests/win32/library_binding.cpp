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

int Library::CallEntryPoint(DWORD reason) const
{
    if (module_ == nullptr) return -1;
    const auto* base = reinterpret_cast<const unsigned char*>(module_);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    using Entry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    const auto entry = reinterpret_cast<Entry>(const_cast<unsigned char*>(base) + nt->OptionalHeader.AddressOfEntryPoint);
    return entry(module_, reason, nullptr);
}
