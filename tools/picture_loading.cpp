#include "picture_loading.h"

#include <quorvane/quorvane.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli_error.h"

namespace qvcli {

namespace {

using FreeImagePtr = std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)>;

FreeImagePtr Own(FIBITMAP* bitmap) { return FreeImagePtr(bitmap, FreeImage_Unload); }

thread_local std::string lastFreeImageMessage;

void KeepFreeImageMessage(FREE_IMAGE_FORMAT, const char* message)
{
    lastFreeImageMessage = message != nullptr ? message : "";
}

std::string FreeImageDetail()
{
    return lastFreeImageMessage.empty() ? std::string() : " (" + lastFreeImageMessage + ")";
}

constexpr int kMaxSide = 16384;

void CheckSize(const std::string& name, int width, int height)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        throw CliError("picture '" + name + "' is " + std::to_string(width) + "x" + std::to_string(height) +
                       "; pictures of 1 to " + std::to_string(kMaxSide) + " pixels a side are supported");
}

// Lays a 32-bit picture with alpha over the background, giving 24 bits.
FreeImagePtr Flatten(FIBITMAP* rgba, uint32_t backgroundRgb)
{
    const unsigned width = FreeImage_GetWidth(rgba), height = FreeImage_GetHeight(rgba);
    FreeImagePtr flat = Own(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24));
    if (!flat) return flat;
    const unsigned bgRed = (backgroundRgb >> 16) & 0xFF, bgGreen = (backgroundRgb >> 8) & 0xFF,
                   bgBlue = backgroundRgb & 0xFF;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* in = FreeImage_GetScanLine(rgba, static_cast<int>(y));
        BYTE* out = FreeImage_GetScanLine(flat.get(), static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, in += 4, out += 3) {
            const unsigned a = in[FI_RGBA_ALPHA];
            auto mix = [a](unsigned c, unsigned bg) { return static_cast<BYTE>((c * a + bg * (255 - a) + 127) / 255); };
            out[FI_RGBA_BLUE] = mix(in[FI_RGBA_BLUE], bgBlue);
            out[FI_RGBA_GREEN] = mix(in[FI_RGBA_GREEN], bgGreen);
            out[FI_RGBA_RED] = mix(in[FI_RGBA_RED], bgRed);
        }
    }
    return flat;
}

FreeImagePtr ReadPictureFile(const std::string& path, uint32_t backgroundRgb)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw CliError("cannot read picture '" + path + "': no such file");
    if (std::filesystem::is_directory(path, ec)) throw CliError("cannot read picture '" + path + "': it is a directory");
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) throw CliError("cannot read picture '" + path + "': " + std::strerror(errno));
    }
    FreeImage_SetOutputMessage(KeepFreeImageMessage);
    lastFreeImageMessage.clear();
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(path.c_str());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        throw CliError("cannot read picture '" + path + "': not a picture format FreeImage knows");
    FreeImagePtr loaded = Own(FreeImage_Load(format, path.c_str(), 0));
    if (!loaded) throw CliError("cannot read picture '" + path + "': the file is damaged or incomplete" + FreeImageDetail());
    if (const FREE_IMAGE_TYPE type = FreeImage_GetImageType(loaded.get()); type != FIT_BITMAP) {
        // 16 bits a channel narrow to 8; floating-point pictures are tone-mapped.
        if (type == FIT_RGB16) loaded = Own(FreeImage_ConvertTo24Bits(loaded.get()));
        else if (type == FIT_RGBA16) loaded = Own(FreeImage_ConvertTo32Bits(loaded.get()));
        else if (type == FIT_RGBF || type == FIT_RGBAF) loaded = Own(FreeImage_ToneMapping(loaded.get(), FITMO_DRAGO03));
        else loaded = Own(FreeImage_ConvertToStandardType(loaded.get(), TRUE));
        if (!loaded) throw CliError("cannot read picture '" + path + "': its pixel type cannot be converted");
    }
    CheckSize(path, static_cast<int>(FreeImage_GetWidth(loaded.get())), static_cast<int>(FreeImage_GetHeight(loaded.get())));
    FreeImagePtr flat = Own(nullptr);
    if (FreeImage_IsTransparent(loaded.get()) || FreeImage_GetBPP(loaded.get()) == 32) {
        FreeImagePtr rgba = Own(FreeImage_ConvertTo32Bits(loaded.get()));
        if (rgba) flat = Flatten(rgba.get(), backgroundRgb);
    } else {
        flat = Own(FreeImage_ConvertTo24Bits(loaded.get()));
    }
    if (!flat) throw CliError("cannot read picture '" + path + "': no memory to convert it");
    return flat;
}

FreeImagePtr ReadVideoFrame(const VideoFrameName& video, const std::string& name)
{
    const HostPicture frame = ReadVideoFramePicture(video.path, video.frame, name);
    FreeImagePtr copy = Own(HostToFreeImage(frame));
    if (!copy) throw CliError("no memory for frame " + std::to_string(video.frame) + " of '" + video.path + "'");
    return copy;
}

}  // namespace

void CheckAviFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw CliError("cannot read video '" + path + "': no such file");
    if (std::filesystem::is_directory(path, ec)) throw CliError("cannot read video '" + path + "': it is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError("cannot read video '" + path + "': " + std::strerror(errno));
    char head[12] = {};
    in.read(head, sizeof head);
    if (in.gcount() != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "AVI ", 4) != 0)
        throw CliError("cannot read video '" + path + "': not an AVI file");
}

VideoInfo ReadVideoInfo(const std::string& path)
{
    CheckAviFile(path);
    VideoInfo info;
    const int32_t result = GetAVIinfo(path.c_str(), &info.width, &info.height, &info.rate, &info.length);
    if (result == 0) return info;
    throw CliError("cannot read video '" + path + "': " +
                   (result == 1 ? std::string("no video stream (is it an AVI file?)")
                                : result == 2 ? std::string("its frame format is unreadable")
                                              : std::string("its stream header is unreadable")));
}

HostPicture ReadVideoFramePicture(const std::string& path, int frame, const std::string& name)
{
    CheckAviFile(path);
    int32_t width = 0, height = 0, length = 0;
    float rate = 0;
    const int32_t info = GetAVIinfo(path.c_str(), &width, &height, &rate, &length);
    if (info != 0) {
        throw CliError("cannot read video '" + path + "': " +
                       (info == 1 ? "no video stream (is it an AVI file?)" : "its video format is unreadable"));
    }
    if (height < 0) height = -height;
    CheckSize(name, width, height);
    if (frame < 0 || frame >= length)
        throw CliError("'" + name + "': the video has frames 0 to " + std::to_string(length - 1));
    HostPicture picture(width, height);
    const int32_t drawn = GetAVIframe(picture.dc(), path.c_str(), frame, 1.0f);
    if (drawn != 0)
        throw CliError("cannot read frame " + std::to_string(frame) + " of '" + path + "': " +
                       (drawn == 3 ? "no decoder for its compressor" : drawn == 4 ? "the frame cannot be decoded"
                                                                              : "the frame cannot be drawn"));
    return picture;
}

std::optional<VideoFrameName> ParseVideoFrameName(const std::string& name)
{
    const auto hash = name.rfind('#');
    if (hash == std::string::npos || hash == 0 || hash + 1 >= name.size() || name.size() - hash > 7) return std::nullopt;
    for (std::size_t i = hash + 1; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
    std::error_code ec;
    if (std::filesystem::exists(name, ec)) return std::nullopt;
    return VideoFrameName{name.substr(0, hash), std::stoi(name.substr(hash + 1))};
}

FIBITMAP* HostToFreeImage(const HostPicture& picture)
{
    FIBITMAP* copy = FreeImage_Allocate(picture.width(), picture.height(), 24);
    if (copy == nullptr) return nullptr;
    for (int y = 0; y < picture.height(); ++y) {
        const uint32_t* in = picture.row(y);
        BYTE* out = FreeImage_GetScanLine(copy, picture.height() - 1 - y);  // FreeImage rows run bottom-up
        for (int x = 0; x < picture.width(); ++x, out += 3) {
            out[FI_RGBA_BLUE] = static_cast<BYTE>(in[x]);
            out[FI_RGBA_GREEN] = static_cast<BYTE>(in[x] >> 8);
            out[FI_RGBA_RED] = static_cast<BYTE>(in[x] >> 16);
        }
    }
    return copy;
}

InputPicture InputPicture::Open(const std::string& name, uint32_t backgroundRgb)
{
    InputPicture picture;
    picture.name_ = name;
    if (const auto video = ParseVideoFrameName(name)) picture.bitmap_ = ReadVideoFrame(*video, name);
    else picture.bitmap_ = ReadPictureFile(name, backgroundRgb);
    picture.size_ = {static_cast<int>(FreeImage_GetWidth(picture.bitmap_.get())),
                     static_cast<int>(FreeImage_GetHeight(picture.bitmap_.get()))};
    return picture;
}

InputPicture InputPicture::FromPixels(const std::string& name, int width, int height, int channels,
                                      const uint8_t* pixels, std::ptrdiff_t rowBytes, uint32_t backgroundRgb)
{
    CheckSize(name, width, height);
    if (channels != 3 && channels != 4)
        throw CliError("picture '" + name + "' has " + std::to_string(channels) + " channels; 3 (RGB) or 4 (RGBA) are read");
    FreeImagePtr copy = Own(FreeImage_Allocate(width, height, channels * 8));
    if (!copy) throw CliError("no memory for picture '" + name + "'");
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels + y * rowBytes;
        BYTE* out = FreeImage_GetScanLine(copy.get(), height - 1 - y);  // FreeImage rows run bottom-up
        for (int x = 0; x < width; ++x, in += channels, out += channels) {
            out[FI_RGBA_RED] = in[0];
            out[FI_RGBA_GREEN] = in[1];
            out[FI_RGBA_BLUE] = in[2];
            if (channels == 4) out[FI_RGBA_ALPHA] = in[3];
        }
    }
    InputPicture picture;
    picture.name_ = name;
    picture.size_ = {width, height};
    picture.bitmap_ = channels == 4 ? Flatten(copy.get(), backgroundRgb) : std::move(copy);
    if (!picture.bitmap_) throw CliError("no memory to convert picture '" + name + "'");
    return picture;
}

HostPicture InputPicture::ToHost(Size2 size) const
{
    FIBITMAP* source = bitmap_.get();
    FreeImagePtr scaled = Own(nullptr);
    if (size != size_) {
        scaled = Own(FreeImage_Rescale(source, size.width, size.height, FILTER_CATMULLROM));
        if (!scaled) throw CliError("no memory to scale '" + name_ + "' to " + std::to_string(size.width) + "x" +
                                    std::to_string(size.height));
        source = scaled.get();
    }
    HostPicture host(size.width, size.height);
    for (int y = 0; y < size.height; ++y) {
        const BYTE* in = FreeImage_GetScanLine(source, size.height - 1 - y);
        uint32_t* out = host.row(y);
        for (int x = 0; x < size.width; ++x, in += 3)
            out[x] = uint32_t{in[FI_RGBA_RED]} << 16 | uint32_t{in[FI_RGBA_GREEN]} << 8 | in[FI_RGBA_BLUE];
    }
    return host;
}

}  // namespace qvcli
