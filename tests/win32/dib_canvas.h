// DIB sections selected into their own memory device contexts: the kind of
// picture a host hands to the library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// A top-down DIB section of any depth, with a colour table of 256 entries
// (or none) copied in, selected into its own memory device context.
class DibSection {
public:
    DibSection(int32_t width, int32_t height, int32_t depth, const RGBQUAD* colours);
    ~DibSection();
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;

    bool ok() const { return bitmap_ != nullptr && dc_ != nullptr; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    uint8_t* bits() const { return bits_; }
    // Bytes from one row to the next: rows are padded to whole 32-bit words.
    size_t stride() const { return stride_; }

private:
    uint8_t* bits_ = nullptr;
    size_t stride_;
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A 32-bit DibSection read and written as pixel words.
class DibCanvas {
public:
    DibCanvas(int32_t width, int32_t height);

    bool ok() const { return section_.ok(); }
    HDC dc() const { return section_.dc(); }
    HBITMAP bitmap() const { return section_.bitmap(); }
    // Pixel words, top row first (all 32 bits as stored).
    std::vector<uint32_t> Words() const;
    void SetWords(const std::vector<uint32_t>& words);
    void Fill(uint32_t word);

private:
    uint32_t* words() const { return reinterpret_cast<uint32_t*>(section_.bits()); }

    int32_t width_, height_;
    DibSection section_;
};
