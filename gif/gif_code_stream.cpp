#include "gif/gif_code_stream.h"

#include "gif/bit_accumulator.h"

namespace qv::gif {

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
