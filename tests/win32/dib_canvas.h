// A 32-bit top-down DIB section selected into its own memory device context:
// the kind of picture a host hands to the library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class DibCanvas {
public:
    DibCanvas(int32_t width, int32_t height);
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    bool ok() const { return bitmap_ != nullptr && dc_ != nullptr; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    // Pixel words, top row first (all 32 bits as stored).
    std::vector<uint32_t> Words() const;
    void SetWords(const std::vector<uint32_t>& words);
    void Fill(uint32_t word);

private:
    int32_t width_, height_;
    uint32_t* bits_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};
