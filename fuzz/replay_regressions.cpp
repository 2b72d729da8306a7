// Replays every input kept under fuzz/regressions/<target>/ through its
// target, in the normal build: an input that once failed must keep passing.
#include <dirent.h>

#include <cstdio>
#include <string>
#include <vector>

#include <cstddef>
#include <cstdint>

int FuzzDrawMorph(const uint8_t* data, size_t size);
int FuzzAviReader(const uint8_t* data, size_t size);
int FuzzGifStill(const uint8_t* data, size_t size);
int FuzzBitAccumulator(const uint8_t* data, size_t size);
int FuzzQuantize(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string root = argc > 1 ? argv[1] : "fuzz/regressions";
    struct Target {
        const char* name;
        int (*run)(const uint8_t*, size_t);
    };
    const Target targets[] = {{"draw_morph", FuzzDrawMorph},
                              {"avi_reader", FuzzAviReader},
                              {"gif_still", FuzzGifStill},
                              {"bit_accumulator", FuzzBitAccumulator},
                              {"quantize", FuzzQuantize}};
    int replayed = 0;
    for (const Target& t : targets) {
        const std::string dir = root + "/" + t.name;
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) continue;
        while (const dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const std::vector<uint8_t> bytes = ReadAll(dir + "/" + e->d_name);
            t.run(bytes.data(), bytes.size());
            ++replayed;
        }
        closedir(d);
        // The empty input too: every target must take it.
        t.run(nullptr, 0);
    }
    std::printf("replayed %d kept inputs\n", replayed);
    return 0;
}
