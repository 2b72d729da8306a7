// Animated GIF output through giflib, with LZW code streams of our own
// (gif_lzw_encoder.h), and each frame after the first cut down to the
// rectangle where the picture changed. The palettes and decoded pixels are
// those the library's writer gives the same frames; only the coding differs.
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "cli_error.h"
#include "frame_sinks.h"
#include "gif_frame_quantiser.h"
#include "gif_lzw_encoder.h"

namespace qvcli {

namespace {

// The library's writer: hundredths of a second a frame for a rate in
// hundredths of a frame per second, rounded to nearest.
int FrameDelay(int frameRate)
{
    if (frameRate <= 0) return 0;
    return static_cast<int>(10000.0 / static_cast<double>(frameRate) + 0.5);
}

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom excluded
    bool empty() const { return right <= left || bottom <= top; }
};

class CompactGifSink final : public FrameSink {
public:
    explicit CompactGifSink(const SinkOptions& options)
        : options_(options), file_(options.target.path), delay_(FrameDelay(options.frameRate))
    {
        CheckReplaceable(options.target.path);
        const std::size_t pixels = static_cast<std::size_t>(options.size.width) * static_cast<std::size_t>(options.size.height);
        shown_.assign(pixels, 0);
        colours_.assign(pixels, 0);
        // Opened here rather than by giflib, which would create the file
        // readable by its owner only; giflib closes it.
        const int fd = open(file_.temporaryPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) Fail(WhyNotWritable(options.target.path));
        int error = 0;
        gif_ = EGifOpenFileHandle(fd, &error);
        if (gif_ == nullptr) {
            close(fd);
            Fail("no memory for the GIF writer");
        }
        EGifSetGifVersion(gif_, true);
        if (EGifPutScreenDesc(gif_, options.size.width, options.size.height, 8, 0, nullptr) == GIF_ERROR) FailWrite();
        // The looping application extension, as the library's writer stores it.
        const std::array<GifByteType, 3> loop = {1, static_cast<GifByteType>(options.loopCount & 0xFF),
                                                 static_cast<GifByteType>(options.loopCount >> 8)};
        if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
            EGifPutExtensionBlock(gif_, 3, loop.data()) == GIF_ERROR || EGifPutExtensionTrailer(gif_) == GIF_ERROR)
            FailWrite();
    }

    ~CompactGifSink() override
    {
        if (gif_ != nullptr) EGifCloseFile(gif_, nullptr);
    }

    std::function<HostPicture(const HostPicture& frame)> Preparation() const override { return QuantiseForGif; }

    void Write(int frameIndex, const HostPicture& frame) override
    {
        if (GetHostBitmapDepth(frame.bitmap()) != 8) {
            Write(frameIndex, QuantiseForGif(frame));
            return;
        }
        const int w = frame.width(), h = frame.height();
        const uint32_t* palette = GetHostBitmapPalette(frame.bitmap());
        for (int y = 0; y < h; ++y) {
            const uint8_t* in = frame.bytes(y);
            uint32_t* out = &colours_[static_cast<std::size_t>(y) * static_cast<std::size_t>(w)];
            for (int x = 0; x < w; ++x) out[x] = palette[in[x]] & 0xFFFFFFu;
        }
        const bool first = frames_ == 0;
        Rect changed = first ? Rect{0, 0, w, h} : ChangedRect(w, h);
        // An unchanged frame still takes its time: one pixel left as it was.
        if (changed.empty()) changed = Rect{0, 0, 1, 1};
        const std::array<uint8_t, 256> twin = FirstOfEachColour(palette);
        const int transparent = first ? -1 : UnusedIndex(frame, changed, twin);
        WriteFrame(frame, changed, twin, transparent);
        shown_.swap(colours_);
        ++frames_;
    }

    void Finish() override
    {
        int error = 0;
        const int closed = EGifCloseFile(gif_, &error);
        gif_ = nullptr;
        if (closed == GIF_ERROR) FailWrite();
        file_.Commit();
    }

    std::string Written() const override { return options_.target.path; }

private:
    [[noreturn]] void Fail(const std::string& why) const { throw CliError("cannot write '" + options_.target.path + "': " + why); }
    [[noreturn]] void FailWrite() const { Fail("writing failed (disk full?)"); }

    // The bounds of the pixels whose colour differs from what is shown now.
    Rect ChangedRect(int w, int h) const
    {
        Rect r{w, h, 0, 0};
        for (int y = 0; y < h; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            int x0 = 0;
            while (x0 < w && colours_[row + x0] == shown_[row + x0]) ++x0;
            if (x0 == w) continue;
            int x1 = w;
            while (colours_[row + x1 - 1] == shown_[row + x1 - 1]) --x1;
            r.left = std::min(r.left, x0);
            r.right = std::max(r.right, x1);
            r.top = std::min(r.top, y);
            r.bottom = y + 1;
        }
        return r;
    }

    // NeuQuant's palettes often hold one colour at several indices. Each
    // index maps to the first with its colour: the pixels decode the same,
    // LZW sees longer repeats, and the other indices come free to mark
    // unchanged pixels.
    static std::array<uint8_t, 256> FirstOfEachColour(const uint32_t* palette)
    {
        std::array<uint8_t, 256> first{};
        for (int i = 0; i < 256; ++i) {
            int j = 0;
            while ((palette[j] & 0xFFFFFFu) != (palette[i] & 0xFFFFFFu)) ++j;
            first[static_cast<std::size_t>(i)] = static_cast<uint8_t>(j);
        }
        return first;
    }

    // An index no changed pixel in the rectangle is written with, so it can
    // stand for "leave as shown" over the unchanged ones; -1 when there is
    // none or no pixel would use it.
    int UnusedIndex(const HostPicture& frame, const Rect& r, const std::array<uint8_t, 256>& twin) const
    {
        std::array<bool, 256> used{};
        bool anyUnchanged = false;
        const int w = frame.width();
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* in = frame.bytes(y);
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            for (int x = r.left; x < r.right; ++x) {
                if (colours_[row + x] != shown_[row + x]) used[twin[in[x]]] = true;
                else anyUnchanged = true;
            }
        }
        if (!anyUnchanged) return -1;
        const auto unused = std::find(used.begin(), used.end(), false);
        return unused == used.end() ? -1 : static_cast<int>(unused - used.begin());
    }

    void WriteFrame(const HostPicture& frame, const Rect& r, const std::array<uint8_t, 256>& twin, int transparent)
    {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = delay_;
        control.TransparentColor = transparent >= 0 ? transparent : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR) FailWrite();

        // Every frame carries its own 256-entry palette, as from the library's writer.
        std::array<GifColorType, 256> colours{};
        const uint32_t* palette = GetHostBitmapPalette(frame.bitmap());
        for (int i = 0; i < 256; ++i)
            colours[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(palette[i] >> 16),
                                                    static_cast<GifByteType>(palette[i] >> 8),
                                                    static_cast<GifByteType>(palette[i])};
        std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(256, colours.data()),
                                                                        GifFreeMapObject);
        if (!map) Fail("no memory for the colour table");
        const int width = r.right - r.left;
        if (EGifPutImageDesc(gif_, r.left, r.top, width, r.bottom - r.top, false, map.get()) == GIF_ERROR) FailWrite();
        const int height = r.bottom - r.top;
        std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        const int w = frame.width();
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* in = frame.bytes(y) + r.left;
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(r.left);
            uint8_t* line = &pixels[static_cast<std::size_t>(y - r.top) * static_cast<std::size_t>(width)];
            for (int x = 0; x < width; ++x) {
                const uint8_t own = twin[in[x]];
                // An unchanged pixel shows the same through the transparent
                // index or its own: the own index where it carries on the
                // run to its left, else the transparent one, which runs on
                // across unchanged areas.
                const bool unchanged = transparent >= 0 && colours_[row + x] == shown_[row + x];
                line[x] = unchanged && !(x > 0 && line[x - 1] == own) ? static_cast<uint8_t>(transparent) : own;
            }
        }
        // giflib wrote the minimum code size with the descriptor; the code
        // stream follows in sub-blocks of at most 255 bytes.
        const std::vector<uint8_t> codes = SmallestLzwCodeStream(pixels.data(), pixels.size());
        std::array<GifByteType, 256> block{};
        for (std::size_t at = 0; at < codes.size(); at += 255) {
            const std::size_t length = std::min<std::size_t>(255, codes.size() - at);
            block[0] = static_cast<GifByteType>(length);
            std::memcpy(&block[1], &codes[at], length);
            if (EGifPutCodeNext(gif_, block.data()) == GIF_ERROR) FailWrite();
        }
        if (EGifPutCodeNext(gif_, nullptr) == GIF_ERROR) FailWrite();
    }

    SinkOptions options_;
    PendingFile file_;
    int delay_;
    GifFileType* gif_ = nullptr;
    std::vector<uint32_t> shown_;    // the picture a decoder shows now, 0x00RRGGBB
    std::vector<uint32_t> colours_;  // the frame being written
    int frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> OpenCompactGifSink(const SinkOptions& options)
{
    return std::make_unique<CompactGifSink>(options);
}

}  // namespace qvcli
