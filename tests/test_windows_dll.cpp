// Quorvane.dll, the 32-bit Windows build, as an outside Windows host sees it:
// its export table read from the file, and a host program (tests/win32) run
// under Wine that binds the exports by name, renders through DIB sections and
// memory device contexts, reads AVI files that this build wrote and writes
// one through the compression dialog. Every result is compared with what the
// portable build gives for the same inputs.
//
// Runs when QUORVANE_WIN32_DIR names the Windows build directory (see
// scripts/test-windows.sh); QUORVANE_WINE names the command that runs
// Windows programs (default "wine").
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "support/avi_test_files.h"
#include "support/frame_pattern.h"
#include "support/host_scene.h"
#include "support/pe_exports.h"
#include "support/scene_file.h"

namespace {

using Fields = std::map<std::string, std::string>;

class WindowsDll : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* dir = std::getenv("QUORVANE_WIN32_DIR");
        if (dir == nullptr || *dir == 0) GTEST_SKIP() << "QUORVANE_WIN32_DIR not set: Windows build not tested";
        buildDir_ = std::filesystem::absolute(dir).string();
        const char* wine = std::getenv("QUORVANE_WINE");
        wine_ = wine != nullptr && *wine != 0 ? wine : "wine";
        ASSERT_TRUE(std::filesystem::exists(Dll())) << Dll();
        ASSERT_TRUE(std::filesystem::exists(Host())) << Host();
    }

    std::string Dll() const { return buildDir_ + "/Quorvane.dll"; }
    std::string Host() const { return buildDir_ + "/tests/win32/quorvane_win_host.exe"; }

    // A Unix path as the Windows host names it (Wine maps Z: to the root).
    static std::string WindowsPath(const std::string& path)
    {
        std::string windows = "Z:" + std::filesystem::absolute(path).string();
        std::replace(windows.begin(), windows.end(), '/', '\\');
        return windows;
    }

    // Runs the host with the DLL as its first argument; returns its output.
    std::string RunHost(const std::string& command, const std::string& arguments) const
    {
        return qv::test::Capture(wine_ + " '" + Host() + "' " + command + " '" + WindowsPath(Dll()) + "' " + arguments +
                                 " 2>/dev/null");
    }

    // `key=value` words of the host's output (later lines win).
    static Fields Parse(const std::string& output)
    {
        Fields fields;
        std::istringstream words(output);
        std::string word;
        while (words >> word) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
        }
        return fields;
    }

    std::string buildDir_, wine_;
    qv::test::ScratchDir scratch_;
};

// ---- The export table ----

TEST_F(WindowsDll, ExportTableListsExactlyTheElevenDecoratedNames)
{
    const qvtest::PeExports pe = qvtest::ReadPeExports(Dll());
    ASSERT_TRUE(pe.valid);
    EXPECT_EQ(pe.machine, 0x14C);
    EXPECT_TRUE(pe.pe32);
    EXPECT_TRUE(pe.dll);
    EXPECT_EQ(pe.moduleName, "Quorvane.dll");
    const std::vector<std::string> expected = {
        "_DrawMorph@76",         "_GetAVIframe@16",           "_GetAVIinfo@20",
        "_RenderAnimatedGIF@16", "_RenderAnimatedGIFEnd@4",   "_RenderAnimatedGIFStart@28",
        "_RenderCompressed@16",  "_RenderCompressedEnd@4",    "_RenderCompressedStart@32",
        "_SaveToFreeImage@32",   "_SetVars@16"};
    EXPECT_EQ(pe.names, expected);
    EXPECT_EQ(pe.functionCount, 11u);
}

TEST_F(WindowsDll, NeedsOnlySystemModulesToLoad)
{
    // The runtimes are linked in and FreeImage.dll is bound on first use, so
    // a host needs nothing beside the DLL to render and to read video.
    const qvtest::PeExports pe = qvtest::ReadPeExports(Dll());
    ASSERT_TRUE(pe.valid);
    for (std::string module : pe.imports) {
        std::transform(module.begin(), module.end(), module.begin(), [](char c) { return char(std::tolower(c)); });
        EXPECT_TRUE(module == "kernel32.dll" || module == "msvcrt.dll" || module == "gdi32.dll" ||
                    module == "avifil32.dll" || module == "user32.dll" || module == "msvfw32.dll")
            << module;
    }
}

// ---- Calling convention ----

TEST_F(WindowsDll, EveryExportIsBoundByNameAndRemovesItsArgumentBytes)
{
    const std::string output = RunHost("exports", "");
    const Fields f = Parse(output);
    ASSERT_EQ(f.count("loaded"), 1u) << "host did not run";
    EXPECT_EQ(f.at("loaded"), "1");
    // Each export was called with zeroed slots: refused early, with its code.
    const std::map<std::string, std::string> refusals = {
        {"_DrawMorph@76", "42"},          {"_RenderCompressedStart@32", "1"}, {"_RenderCompressed@16", "1"},
        {"_GetAVIinfo@20", "1"},          {"_GetAVIframe@16", "1"},           {"_SaveToFreeImage@32", "0"},
        {"_RenderAnimatedGIFStart@28", "1"}, {"_RenderAnimatedGIF@16", "1"}};
    const std::vector<std::pair<std::string, std::string>> names = {
        {"_SetVars@16", "16"},           {"_DrawMorph@76", "76"},           {"_RenderCompressedStart@32", "32"},
        {"_RenderCompressed@16", "16"},  {"_RenderCompressedEnd@4", "4"},   {"_GetAVIinfo@20", "20"},
        {"_GetAVIframe@16", "16"},       {"_SaveToFreeImage@32", "32"},     {"_RenderAnimatedGIFStart@28", "28"},
        {"_RenderAnimatedGIF@16", "16"}, {"_RenderAnimatedGIFEnd@4", "4"}};
    // The host prints "NAME bound=1 removed=N result=R" per export.
    for (const auto& [name, bytes] : names) {
        const size_t at = output.find(name + " bound=");
        ASSERT_NE(at, std::string::npos) << name;
        const Fields line = Parse(output.substr(at, output.find('\n', at) - at));
        EXPECT_EQ(line.at("bound"), "1") << name;
        EXPECT_EQ(line.at("removed"), bytes) << name;
        if (refusals.count(name) != 0) {
            EXPECT_EQ(line.at("result"), refusals.at(name)) << name;
        }
    }
}

TEST_F(WindowsDll, ImageCallsFailWithTheirCodesWhenTheHostHasNoFreeImage)
{
    // No FreeImage.dll is installed beside the test host.
    const Fields f = Parse(RunHost("image-calls", "'" + WindowsPath(scratch_.Path("")) + "'"));
    ASSERT_EQ(f.count("gif-start"), 1u) << "host did not run";
    EXPECT_EQ(f.at("gif-start"), "3");
    EXPECT_EQ(f.at("handle-stored"), "1");
    EXPECT_EQ(f.at("gif-frame"), "1");
    EXPECT_EQ(f.at("still"), "0");
}

// ---- The renderer ----

std::vector<qvtest::RefScene> SceneMix()
{
    std::mt19937 rng(2718);
    std::vector<qvtest::RefScene> scenes;
    for (int n = 0; n < 300; ++n) scenes.push_back(qvtest::RandomScene(rng));
    // Larger outputs, so that the vector kernels run many lanes wide.
    for (int n = 0; n < 40; ++n) {
        qvtest::RefScene sc = qvtest::RandomScene(rng);
        sc.outW = int16_t(std::uniform_int_distribution<int>(40, 160)(rng));
        sc.outH = int16_t(std::uniform_int_distribution<int>(20, 90)(rng));
        for (size_t v = 0; v < sc.frameX.size(); ++v) {
            sc.frameX[v] = int16_t(std::uniform_int_distribution<int>(-20, sc.outW + 20)(rng));
            sc.frameY[v] = int16_t(std::uniform_int_distribution<int>(-20, sc.outH + 20)(rng));
        }
        scenes.push_back(sc);
    }
    return scenes;
}

TEST_F(WindowsDll, DrawMorphGivesThePortableBuildsWordsThroughDibSections)
{
    std::vector<qvtest::RefScene> scenes = SceneMix();
    const std::string scenesPath = scratch_.Path("scenes.bin"), renderedPath = scratch_.Path("rendered.bin");
    ASSERT_TRUE(qvtest::WriteScenes(scenesPath, scenes));
    const Fields f = Parse(RunHost("morph", "'" + WindowsPath(scenesPath) + "' '" + WindowsPath(renderedPath) + "'"));
    ASSERT_EQ(f.count("rendered"), 1u) << "host did not run";
    std::vector<qvtest::RenderedScene> rendered;
    ASSERT_TRUE(qvtest::ReadRendered(renderedPath, rendered));
    ASSERT_EQ(rendered.size(), scenes.size());

    for (size_t n = 0; n < scenes.size(); ++n) {
        std::vector<uint32_t> expected;
        const int32_t result = qvtest::RenderThroughLibrary(scenes[n], expected);
        ASSERT_EQ(rendered[n].result, result) << "scene " << n;
        EXPECT_EQ(rendered[n].argumentBytesRemoved, 76u) << "scene " << n;
        ASSERT_EQ(rendered[n].words, expected) << "scene " << n << " flags " << scenes[n].flags << " block "
                                               << scenes[n].blockSize;
        ASSERT_EQ(rendered[n].triangles.size(), scenes[n].triangles.size());
        for (size_t t = 0; t < scenes[n].triangles.size(); ++t)
            ASSERT_EQ(std::memcmp(rendered[n].triangles[t].v, scenes[n].triangles[t].v, 6), 0) << "scene " << n;
    }
}

// ---- Video ----

// Writes `frames` pattern frames with the portable writer and the codec.
void WritePortableAvi(const std::string& path, uint32_t fccHandler, int32_t width, int32_t height, int32_t frames)
{
    qv::test::FixedChoice choice;
    choice.fccHandler = fccHandler;
    qv::test::Window window = qv::test::MakeChooserWindow(&choice);
    AviWriter* writer = nullptr;
    ASSERT_EQ(RenderCompressedStart(window.get(), path.c_str(), width, height, 24, 2500, frames, &writer), 0);
    qvtest::HostPicture picture(width, height, 24);
    for (int32_t position = 0; position < frames; ++position) {
        uint8_t* bits = GetHostBitmapBits(picture.bitmap());
        const int32_t stride = GetHostBitmapStride(picture.bitmap());
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t word = qvtest::PatternWord(x, y, position);
                uint8_t* p = bits + ptrdiff_t(y) * stride + ptrdiff_t(x) * 3;
                p[0] = uint8_t(word), p[1] = uint8_t(word >> 8), p[2] = uint8_t(word >> 16);
            }
        ASSERT_EQ(RenderCompressed(picture.dc(), picture.bitmap(), uint32_t(position), writer), 0);
    }
    RenderCompressedEnd(writer);
}

// What the portable reader draws into a 32-bit picture prefilled like the host's.
std::vector<uint32_t> PortableFrame(const std::string& path, int32_t position, float zoom, int32_t width,
                                    int32_t height, int32_t* result)
{
    qvtest::HostPicture target(width, height, 32);
    target.SetWords(std::vector<uint32_t>(size_t(width) * size_t(height), 0x00FF00FFu));
    *result = GetAVIframe(target.dc(), path.c_str(), position, zoom);
    return target.Words();
}

int MaxChannelDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    int worst = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            worst = std::max(worst, std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)));
    return worst;
}

struct CodecCase {
    const char* fourcc;
    int tolerance;  // largest channel difference between the two platforms' decoders
};

TEST_F(WindowsDll, ReadsTheAviFilesThatThePortableWriterMakes)
{
    constexpr int32_t kW = 64, kH = 48, kFrames = 6;
    const CodecCase cases[] = {{"DIB ", 0}, {"MSVC", 8}, {"cvid", 8}};
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.fourcc);
        const std::string path = scratch_.Path(std::string("portable-") + (c.fourcc[0] == 'D' ? "dib" : c.fourcc) + ".avi");
        WritePortableAvi(path, qv::test::Fcc(c.fourcc), kW, kH, kFrames);

        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &rate, &length), 0);
        uint32_t rateBits = 0;
        std::memcpy(&rateBits, &rate, 4);
        char expectedRate[16];
        std::snprintf(expectedRate, sizeof(expectedRate), "%08x", rateBits);
        const Fields info = Parse(RunHost("avi-info", "'" + WindowsPath(path) + "'"));
        ASSERT_EQ(info.count("result"), 1u) << "host did not run";
        EXPECT_EQ(info.at("result"), "0");
        EXPECT_EQ(info.at("width"), std::to_string(w));
        EXPECT_EQ(info.at("height"), std::to_string(h));
        EXPECT_EQ(info.at("rate"), expectedRate);
        EXPECT_EQ(info.at("length"), std::to_string(length));

        for (int32_t position : {0, 3, 5}) {
            const std::string out = scratch_.Path("frame.bin");
            const Fields drawn = Parse(RunHost("avi-frame", "'" + WindowsPath(path) + "' " + std::to_string(position) +
                                                              " 3f800000 " + std::to_string(kW) + " " +
                                                              std::to_string(kH) + " '" + WindowsPath(out) + "'"));
            ASSERT_EQ(drawn.count("result"), 1u) << "host did not run";
            EXPECT_EQ(drawn.at("result"), "0") << "position " << position;
            EXPECT_EQ(drawn.at("mode"), "1") << "an unzoomed draw leaves the stretch mode";
            std::vector<qvtest::RenderedScene> windowsFrame;
            ASSERT_TRUE(qvtest::ReadRendered(out, windowsFrame));
            int32_t portableResult = -1;
            const std::vector<uint32_t> portable = PortableFrame(path, position, 1.0f, kW, kH, &portableResult);
            ASSERT_EQ(portableResult, 0);
            EXPECT_LE(MaxChannelDifference(windowsFrame[0].words, portable), c.tolerance) << "position " << position;
        }
    }
}

TEST_F(WindowsDll, ZoomedFramesCoverTheSameAreaAndLeaveColorOnColor)
{
    constexpr int32_t kW = 64, kH = 48;
    const std::string path = scratch_.Path("zoom.avi");
    WritePortableAvi(path, qv::test::Fcc("DIB "), kW, kH, 2);
    // 0.5 as a float is 0x3f000000; 2.0 is 0x40000000.
    for (const auto& [zoom, bits] : {std::pair{0.5f, "3f000000"}, std::pair{2.0f, "40000000"}}) {
        const int32_t canvasW = 2 * kW + 8, canvasH = 2 * kH + 8;
        const std::string out = scratch_.Path("zoomed.bin");
        const Fields drawn = Parse(RunHost("avi-frame", "'" + WindowsPath(path) + "' 1 " + bits + " " +
                                                          std::to_string(canvasW) + " " + std::to_string(canvasH) +
                                                          " '" + WindowsPath(out) + "'"));
        ASSERT_EQ(drawn.count("result"), 1u) << "host did not run";
        EXPECT_EQ(drawn.at("result"), "0");
        EXPECT_EQ(drawn.at("mode"), "3");
        std::vector<qvtest::RenderedScene> windowsFrame;
        ASSERT_TRUE(qvtest::ReadRendered(out, windowsFrame));
        int32_t portableResult = -1;
        const std::vector<uint32_t> portable = PortableFrame(path, 1, zoom, canvasW, canvasH, &portableResult);
        ASSERT_EQ(portableResult, 0);
        // Both draw exactly the zoomed rectangle: the prefill shows elsewhere.
        const auto& windowsWords = windowsFrame[0].words;
        ASSERT_EQ(windowsWords.size(), portable.size());
        for (size_t i = 0; i < portable.size(); ++i)
            ASSERT_EQ(windowsWords[i] == 0x00FF00FFu, portable[i] == 0x00FF00FFu) << "zoom " << zoom << " pixel " << i;
    }
}

TEST_F(WindowsDll, WritesAnAviThroughTheConfirmedCompressionDialog)
{
    constexpr int32_t kW = 40, kH = 30, kFrames = 5;
    const std::string path = scratch_.Path("windows.avi");
    const Fields f = Parse(RunHost("avi-write", "'" + WindowsPath(path) + "' " + std::to_string(kW) + " " +
                                                    std::to_string(kH) + " 24 " + std::to_string(kFrames) + " ok"));
    ASSERT_EQ(f.count("start"), 1u) << "host did not run";
    EXPECT_EQ(f.at("dialog-answered"), "1");
    ASSERT_EQ(f.at("start"), "0");
    for (int32_t position = 0; position < kFrames; ++position)
        EXPECT_EQ(f.at("frame" + std::to_string(position)), "0") << position;
    EXPECT_EQ(f.at("ended"), "1");

    // Read back with the portable reader.
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &rate, &length), 0);
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    EXPECT_EQ(rate, 25.0f);
    EXPECT_EQ(length, kFrames);
    const qv::test::AviLayout layout = qv::test::ParseAvi(qv::test::ReadBytes(path));
    ASSERT_TRUE(layout.valid);
    EXPECT_EQ(layout.U32(layout.strh, 20), 100u) << "scale";
    EXPECT_EQ(layout.U32(layout.strh, 24), 2500u) << "rate";
    for (int32_t position = 0; position < kFrames; ++position) {
        int32_t result = -1;
        const std::vector<uint32_t> words = PortableFrame(path, position, 1.0f, kW, kH, &result);
        ASSERT_EQ(result, 0);
        std::vector<uint32_t> expected(size_t(kW) * size_t(kH));
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) expected[size_t(y) * kW + size_t(x)] = qvtest::PatternWord(x, y, position);
        EXPECT_EQ(words, expected) << "frame " << position;
    }
}

TEST_F(WindowsDll, CancellingTheDialogReturnsFourAndKeepsTheFile)
{
    const std::string path = scratch_.Path("cancelled.avi");
    const Fields f = Parse(RunHost("avi-write", "'" + WindowsPath(path) + "' 16 16 24 1 cancel"));
    ASSERT_EQ(f.count("start"), 1u) << "host did not run";
    EXPECT_EQ(f.at("dialog-answered"), "1");
    EXPECT_EQ(f.at("start"), "4");
    EXPECT_EQ(f.at("ended"), "1");
    EXPECT_TRUE(std::filesystem::exists(path));
}

}  // namespace
