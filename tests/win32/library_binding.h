// Quorvane.dll loaded at run time and its eleven exports bound by their
// decorated names, as a host written in any language binds them.
#pragma once

#include <windows.h>

#include <cstdint>

enum class Export { SetVars, DrawMorph, CompressedStart, Compressed, CompressedEnd, AviInfo, AviFrame,
                    SaveStill, GifStart, Gif, GifEnd, Count };

struct ExportName {
    const char* decorated;
    uint32_t argumentBytes;
};

const ExportName& NameOf(Export e);

class Library {
public:
    explicit Library(const char* path);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return module_ != nullptr; }
    // Null when the export is missing.
    const void* Address(Export e) const { return addresses_[int(e)]; }
    bool AllBound() const;
    // Calls the module's entry point (the runtime's start-up routine, which
    // calls the library's load routine) for `reason`; its BOOL result.
    int CallEntryPoint(DWORD reason) const;

private:
    HMODULE module_;
    const void* addresses_[int(Export::Count)] = {};
};
