#include "support/gif_indexed_picture.h"

#include <cstdio>

#include "gif/gif_file_layout.h"

namespace qv::test {

PictureHandle MakeIndexedPicture(int width, int height, const std::function<uint8_t(int, int)>& indexAt,
                                 const std::function<uint32_t(int)>& colorOf)
{
    PictureHandle picture(FreeImage_Allocate(width, height, 8, 0, 0, 0));
    if (!picture) return picture;
    RGBQUAD* palette = FreeImage_GetPalette(picture.get());
    for (int i = 0; i < 256; ++i) {
        const uint32_t color = colorOf(i);
        palette[i].rgbRed = static_cast<BYTE>(color >> 16);
        palette[i].rgbGreen = static_cast<BYTE>(color >> 8);
        palette[i].rgbBlue = static_cast<BYTE>(color);
        palette[i].rgbReserved = 0;
    }
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(picture.get(), height - 1 - y);  // FreeImage is bottom-up
        for (int x = 0; x < width; ++x) line[x] = indexAt(x, y);
    }
    return picture;
}

uint32_t DistinctColor(int index)
{
    const auto i = static_cast<uint32_t>(index);
    return ((i * 7u + 3u) & 0xFFu) << 16 | ((255u - i) & 0xFFu) << 8 | ((i * 13u + 101u) & 0xFFu);
}

void WriteOneFrameGif(const std::string& path, FIBITMAP* picture, uint16_t width, uint16_t height,
                      uint16_t delay, uint16_t loopCount)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    qv::gif::WriteFileHeader(file, width, height, loopCount);
    qv::gif::WriteFramePrefix(file, delay, width, height);
    qv::gif::WriteColorTable(file, FreeImage_GetPalette(picture));
    qv::gif::WriteLiteralCodeStream(file, picture, width, height);
    qv::gif::WriteTrailer(file);
    std::fclose(file);
}

}  // namespace qv::test
