#include "gif/gif_file_layout.h"

#include <array>

#include "gif/bit_accumulator.h"

namespace qv::gif {

namespace {

// Offsets 10..28 of the file header: screen descriptor flags (no global
// table), background index, aspect ratio, then the looping application
// extension up to its sub-block id.
constexpr std::array<uint8_t, 19> kScreenAndLoopExtension = {
    0x07, 0x00, 0x00, 0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',
    'C',  'A',  'P',  'E',  '2',  '.',  '0', 0x03, 0x01};
constexpr std::array<uint8_t, 6> kSignature = {'G', 'I', 'F', '8', '9', 'a'};
// Graphic control extension up to the delay: disposal 2, no transparency.
constexpr std::array<uint8_t, 4> kGraphicControlStart = {0x21, 0xF9, 0x04, 0x08};
// Transparent index, terminator, image separator, left and top position 0.
constexpr std::array<uint8_t, 7> kDescriptorStart = {0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00};
// Local colour table of 2^(7+1) entries, not interlaced, not sorted.
constexpr uint8_t kLocalTableFlags = 0x87;

template <std::size_t N>
void WriteGroup(std::FILE* file, const std::array<uint8_t, N>& bytes)
{
    std::fwrite(bytes.data(), 1, bytes.size(), file);
}

void WriteLittleEndian16(std::FILE* file, uint16_t value)
{
    const std::array<uint8_t, 2> bytes = {static_cast<uint8_t>(value & 0xFFu),
                                          static_cast<uint8_t>(value >> 8)};
    WriteGroup(file, bytes);
}

}  // namespace

uint16_t FrameDelayFromRate(int32_t frameRate)
{
    if (frameRate <= 0) {
        return 0;
    }
    // 10000 / rate + 0.5 lies in (0, 10000.5], so the truncation is in range.
    const double rounded = 10000.0 / static_cast<double>(frameRate) + 0.5;
    return static_cast<uint16_t>(static_cast<int32_t>(rounded));
}

uint16_t FrameDisplayTime(uint16_t frameDelay, uint16_t holdFrames)
{
    const uint32_t product = uint32_t{frameDelay} * uint32_t{holdFrames};
    return static_cast<uint16_t>(product & 0xFFFFu);
}

void WriteFileHeader(std::FILE* file, uint16_t width, uint16_t height, uint16_t loopCount)
{
    WriteGroup(file, kSignature);
    WriteLittleEndian16(file, width);
    WriteLittleEndian16(file, height);
    WriteGroup(file, kScreenAndLoopExtension);
    WriteLittleEndian16(file, loopCount);
    std::fputc(0x00, file);
}

void WriteFramePrefix(std::FILE* file, uint16_t delay, uint16_t width, uint16_t height)
{
    WriteGroup(file, kGraphicControlStart);
    WriteLittleEndian16(file, delay);
    WriteGroup(file, kDescriptorStart);
    WriteLittleEndian16(file, width);
    WriteLittleEndian16(file, height);
    std::fputc(kLocalTableFlags, file);
}

void WriteColorTable(std::FILE* file, const RGBQUAD* palette)
{
    for (uint32_t i = 0; i < kColorTableEntries; ++i) {
        std::putc(palette[i].rgbRed, file);
        std::putc(palette[i].rgbGreen, file);
        std::putc(palette[i].rgbBlue, file);
    }
}

void WriteTrailer(std::FILE* file) { std::fputc(kTrailer, file); }

// The literal-only code stream of a frame.
namespace {

constexpr int kProvisionalLength = 0xFF;

// Data bytes and the provisional length byte that opens each next sub-block.
class SubBlockWriter {
public:
    explicit SubBlockWriter(std::FILE* file) : file_(file) {}

    // Writes whole bytes while at least `minimumBits` bits are held.
    void drain(BitAccumulator& bits, uint32_t minimumBits)
    {
        while (bits.bitCount() >= minimumBits) {
            std::putc(bits.takeByte(), file_);
            if (++bytesInBlock_ == kMaxSubBlockBytes) {
                std::putc(kProvisionalLength, file_);
                bytesInBlock_ = 0;
            }
        }
    }

    // The last sub-block holds bytesInBlock_ bytes. When that is 0, the
    // provisional length just written opened an empty block: step back onto
    // it so that the terminator replaces it.
    bool fixUpLastLength()
    {
        if (bytesInBlock_ == 0) {
            return std::fseek(file_, -1, SEEK_CUR) == 0;
        }
        const long distance = static_cast<long>(bytesInBlock_) + 1;
        if (std::fseek(file_, -distance, SEEK_CUR) != 0) {
            return false;
        }
        std::putc(static_cast<int>(bytesInBlock_), file_);
        return std::fseek(file_, distance - 1, SEEK_CUR) == 0;
    }

private:
    std::FILE* file_;
    uint32_t bytesInBlock_ = 0;
};

}  // namespace

bool WriteLiteralCodeStream(std::FILE* file, FIBITMAP* picture, uint16_t width, uint16_t height)
{
    std::putc(kMinimumCodeSize, file);
    std::putc(kProvisionalLength, file);

    BitAccumulator bits;
    SubBlockWriter out(file);
    uint32_t literals = 0;  // runs across rows: clear codes fall mid-row
    for (uint32_t row = height; row-- > 0;) {
        const BYTE* indices = FreeImage_GetScanLine(picture, static_cast<int>(row));
        for (uint32_t column = 0; column < width; ++column) {
            bits.appendBits(indices[column], kCodeWidth);
            if (++literals == kLiteralsPerClear) {
                bits.appendBits(kClearCode, kCodeWidth);
                literals = 0;
            }
            out.drain(bits, 8);
        }
    }
    bits.appendBits(kEndCode, kCodeWidth);
    out.drain(bits, 1);  // the last byte carries the leftover bits, zero-padded

    const bool fixedUp = out.fixUpLastLength();
    std::putc(0x00, file);
    return fixedUp;
}

}  // namespace qv::gif
