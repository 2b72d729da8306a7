// 8-bit FreeImage pictures with chosen palette indices, for driving the GIF
// encoder directly, and one-frame GIF files assembled from the writer's parts.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

struct FreeImageUnload {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using PictureHandle = std::unique_ptr<FIBITMAP, FreeImageUnload>;

// indexAt(x, y) gives the index of the pixel in column x of row y, row 0
// being the top row as a viewer sees it. Palette entry i is colorOf(i)
// as 0x00RRGGBB.
PictureHandle MakeIndexedPicture(int width, int height, const std::function<uint8_t(int, int)>& indexAt,
                                 const std::function<uint32_t(int)>& colorOf);

// A palette whose 256 entries are all different in every channel order.
uint32_t DistinctColor(int index);

// Writes header, one frame (control extension, descriptor, colour table,
// code stream) and trailer with the writer's own layout functions.
void WriteOneFrameGif(const std::string& path, FIBITMAP* picture, uint16_t width, uint16_t height,
                      uint16_t delay, uint16_t loopCount);

}  // namespace qv::test
