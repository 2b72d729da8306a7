#include "support/scene_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace qv::test {

namespace {

constexpr uint32_t kScenesMagic = 0x43535651u;    // "QVSC"
constexpr uint32_t kRenderedMagic = 0x52535651u;  // "QVSR"
constexpr uint32_t kMaxItems = 1u << 26;          // no file of ours holds more

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File Open(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode), &std::fclose); }

template <typename T>
bool Put(std::FILE* f, const T& value)
{
    return std::fwrite(&value, sizeof(T), 1, f) == 1;
}

template <typename T>
bool PutAll(std::FILE* f, const std::vector<T>& values)
{
    const auto count = static_cast<uint32_t>(values.size());
    return Put(f, count) && (count == 0 || std::fwrite(values.data(), sizeof(T), count, f) == count);
}

template <typename T>
bool Get(std::FILE* f, T& value)
{
    return std::fread(&value, sizeof(T), 1, f) == 1;
}

template <typename T>
bool GetAll(std::FILE* f, std::vector<T>& values)
{
    uint32_t count = 0;
    if (!Get(f, count) || count > kMaxItems) return false;
    values.resize(count);
    return count == 0 || std::fread(values.data(), sizeof(T), count, f) == count;
}

}  // namespace

bool WriteScenes(const std::string& path, const std::vector<RefScene>& scenes)
{
    File f = Open(path, "wb");
    if (!f || !Put(f.get(), kScenesMagic) || !Put(f.get(), static_cast<uint32_t>(scenes.size()))) return false;
    for (const RefScene& s : scenes) {
        const int16_t sizes[10] = {s.srcW, s.srcH, s.dstW, s.dstH, s.outW, s.outH,
                                   s.frameIndex, s.frameCount, s.lastTriangle, s.blockSize};
        bool ok = std::fwrite(sizes, sizeof(sizes), 1, f.get()) == 1 && Put(f.get(), s.flags) &&
                  Put(f.get(), s.background) && PutAll(f.get(), s.frameX) && PutAll(f.get(), s.frameY) &&
                  PutAll(f.get(), s.weights) && PutAll(f.get(), s.controlPoints) && PutAll(f.get(), s.triangles) &&
                  PutAll(f.get(), s.src) && PutAll(f.get(), s.dst);
        if (!ok) return false;
    }
    return std::fflush(f.get()) == 0;
}

bool ReadScenes(const std::string& path, std::vector<RefScene>& scenes)
{
    File f = Open(path, "rb");
    uint32_t magic = 0, count = 0;
    if (!f || !Get(f.get(), magic) || magic != kScenesMagic || !Get(f.get(), count) || count > kMaxItems) return false;
    scenes.assign(count, RefScene{});
    for (RefScene& s : scenes) {
        int16_t sizes[10];
        bool ok = std::fread(sizes, sizeof(sizes), 1, f.get()) == 1 && Get(f.get(), s.flags) &&
                  Get(f.get(), s.background) && GetAll(f.get(), s.frameX) && GetAll(f.get(), s.frameY) &&
                  GetAll(f.get(), s.weights) && GetAll(f.get(), s.controlPoints) && GetAll(f.get(), s.triangles) &&
                  GetAll(f.get(), s.src) && GetAll(f.get(), s.dst);
        if (!ok) return false;
        s.srcW = sizes[0], s.srcH = sizes[1], s.dstW = sizes[2], s.dstH = sizes[3], s.outW = sizes[4];
        s.outH = sizes[5], s.frameIndex = sizes[6], s.frameCount = sizes[7], s.lastTriangle = sizes[8];
        s.blockSize = sizes[9];
    }
    return true;
}

bool WriteRendered(const std::string& path, const std::vector<RenderedScene>& rendered)
{
    File f = Open(path, "wb");
    if (!f || !Put(f.get(), kRenderedMagic) || !Put(f.get(), static_cast<uint32_t>(rendered.size()))) return false;
    for (const RenderedScene& r : rendered)
        if (!Put(f.get(), r.result) || !Put(f.get(), r.argumentBytesRemoved) || !PutAll(f.get(), r.triangles) ||
            !PutAll(f.get(), r.words))
            return false;
    return std::fflush(f.get()) == 0;
}

bool ReadRendered(const std::string& path, std::vector<RenderedScene>& rendered)
{
    File f = Open(path, "rb");
    uint32_t magic = 0, count = 0;
    if (!f || !Get(f.get(), magic) || magic != kRenderedMagic || !Get(f.get(), count) || count > kMaxItems)
        return false;
    rendered.assign(count, RenderedScene{});
    for (RenderedScene& r : rendered)
        if (!Get(f.get(), r.result) || !Get(f.get(), r.argumentBytesRemoved) || !GetAll(f.get(), r.triangles) ||
            !GetAll(f.get(), r.words))
            return false;
    return true;
}

}  // namespace qv::test
