// The editor's web page, carried inside the command: each file of
// tools/editor/page/ under its URL path, with its content type.
#pragma once

#include <cstddef>

namespace qvcli {

struct PageAsset {
    const char* path;  // "/index.html"
    const char* contentType;
    const unsigned char* bytes;
    std::size_t size;
};

extern const PageAsset kPageAssets[];
extern const std::size_t kPageAssetCount;

}  // namespace qvcli
