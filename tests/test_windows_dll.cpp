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
#include <memory>
#include <random>
#include <sstream>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include <FreeImage.h>

#include "support/avi_test_files.h"
#include "support/export_pattern.h"
#include "support/frame_pattern.h"
#include "support/host_scene.h"
#include "support/pe_exports.h"
#include "support/scene_file.h"

namespace {

using Fields = std::map<std::string, std::string>;

// Starting a Windows process is slow where 32-bit code is emulated, so the
// suite prepares every input first, hands the host one batch, and each test
// then checks its part of the output.
class WindowsDll : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite() { suite_.reset(); }

protected:
    void SetUp() override
    {
        if (!suite_) GTEST_SKIP() << "QUORVANE_WIN32_DIR not set: Windows build not tested";
        ASSERT_TRUE(suite_->ran) << "the Windows host did not run";
    }

    // A Unix path as the Windows host names it (Wine maps Z: to the root).
    static std::string WindowsPath(const std::string& path)
    {
        std::string windows = "Z:" + std::filesystem::absolute(path).string();
        std::replace(windows.begin(), windows.end(), '/', '\\');
        return windows;
    }

    // `key=value` words of a text (later ones win).
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

    // What the host printed for the batch line with this label.
    static const std::string& Section(const std::string& label)
    {
        static const std::string none;
        const auto it = suite_->sections.find(label);
        return it == suite_->sections.end() ? none : it->second;
    }
    static std::string Path(const std::string& name) { return suite_->scratch.Path(name); }
    static std::string Dll() { return suite_->buildDir + "/Quorvane.dll"; }

    struct Suite {
        std::string buildDir;
        qv::test::ScratchDir scratch;
        std::vector<qv::test::RefScene> scenes;
        std::map<std::string, std::string> sections;
        bool ran = false;
    };
    static std::unique_ptr<Suite> suite_;
};

std::unique_ptr<WindowsDll::Suite> WindowsDll::suite_;

// ---- Inputs, and the one run of the host ----

constexpr int32_t kReadW = 64, kReadH = 48, kReadFrames = 6;
constexpr int32_t kWriteW = 40, kWriteH = 30, kWriteFrames = 5;
constexpr int32_t kZoomCanvasW = 2 * kReadW + 8, kZoomCanvasH = 2 * kReadH + 8;
const char* const kReadCodecs[] = {"DIB ", "MSVC", "cvid"};
const int32_t kReadPositions[] = {0, 3, 5};

std::string CodecTag(const char* fourcc) { return fourcc[0] == 'D' ? "dib" : fourcc; }

std::vector<qv::test::RefScene> SceneMix()
{
    std::mt19937 rng(2718);
    std::vector<qv::test::RefScene> scenes;
    for (int n = 0; n < 300; ++n) scenes.push_back(qv::test::RandomScene(rng));
    // Larger outputs, so that the vector kernels run many lanes wide.
    for (int n = 0; n < 40; ++n) {
        qv::test::RefScene sc = qv::test::RandomScene(rng);
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

// Writes `frames` pattern frames at 24 bits with the portable writer and the codec.
bool WritePortableAvi(const std::string& path, uint32_t fccHandler, int32_t width, int32_t height, int32_t frames)
{
    qv::test::FixedChoice choice;
    choice.fccHandler = fccHandler;
    qv::test::WindowHandle window = qv::test::MakeChooserWindow(&choice);
    AviWriter* writer = nullptr;
    if (RenderCompressedStart(window.get(), path.c_str(), width, height, 24, 2500, frames, &writer) != 0) return false;
    qv::test::HostPicture picture(width, height, 24);
    bool written = true;
    for (int32_t position = 0; position < frames; ++position) {
        uint8_t* bits = GetHostBitmapBits(picture.bitmap());
        const int32_t stride = GetHostBitmapStride(picture.bitmap());
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t word = qv::test::PatternWord(x, y, position);
                uint8_t* p = bits + ptrdiff_t(y) * stride + ptrdiff_t(x) * 3;
                p[0] = uint8_t(word), p[1] = uint8_t(word >> 8), p[2] = uint8_t(word >> 16);
            }
        written = written && RenderCompressed(picture.dc(), picture.bitmap(), uint32_t(position), writer) == 0;
    }
    RenderCompressedEnd(writer);
    return written;
}

void WindowsDll::SetUpTestSuite()
{
    const char* dir = std::getenv("QUORVANE_WIN32_DIR");
    if (dir == nullptr || *dir == 0) return;
    suite_ = std::make_unique<Suite>();
    suite_->buildDir = std::filesystem::absolute(dir).string();
    const std::string host = suite_->buildDir + "/tests/win32/quorvane_win_host.exe";
    if (!std::filesystem::exists(Dll()) || !std::filesystem::exists(host)) return;

    std::ostringstream script;
    script << "exports exports\n";
    script << "image image-calls " << WindowsPath(Path("")) << "\n";
    suite_->scenes = SceneMix();
    if (!qv::test::WriteScenes(Path("scenes.bin"), suite_->scenes)) return;
    script << "morph morph " << WindowsPath(Path("scenes.bin")) << " " << WindowsPath(Path("rendered.bin")) << "\n";
    for (const char* codec : kReadCodecs) {
        const std::string tag = CodecTag(codec), avi = Path("portable-" + tag + ".avi");
        if (!WritePortableAvi(avi, qv::test::Fcc(codec), kReadW, kReadH, kReadFrames)) return;
        script << "info-" << tag << " avi-info " << WindowsPath(avi) << "\n";
        for (int32_t position : kReadPositions)
            script << "frame-" << tag << "-" << position << " avi-frame " << WindowsPath(avi) << " " << position
                   << " 3f800000 " << kReadW << " " << kReadH << " "
                   << WindowsPath(Path("frame-" + tag + "-" + std::to_string(position) + ".bin")) << "\n";
    }
    // Zoom 0.5 is 0x3f000000 as a float, 2.0 is 0x40000000.
    for (const char* zoom : {"3f000000", "40000000"})
        script << "zoom-" << zoom << " avi-frame " << WindowsPath(Path("portable-dib.avi")) << " 1 " << zoom << " "
               << kZoomCanvasW << " " << kZoomCanvasH << " " << WindowsPath(Path(std::string("zoom-") + zoom + ".bin"))
               << "\n";
    script << "write avi-write " << WindowsPath(Path("windows.avi")) << " " << kWriteW << " " << kWriteH << " 24 "
           << kWriteFrames << " ok\n";
    script << "cancel avi-write " << WindowsPath(Path("cancelled.avi")) << " 16 16 24 1 cancel\n";
    // Last, as FreeImage.dll stays loaded once found: the image calls with it.
    const char* freeImageDir = std::getenv("QUORVANE_FREEIMAGE_DIR");
    if (freeImageDir != nullptr && *freeImageDir != 0) {
        script << "freeimage-dir dll-directory " << WindowsPath(freeImageDir) << "\n";
        script << "image-exports image-exports " << WindowsPath(Path("")) << "\n";
    }
    qv::test::WriteFileBytes(Path("script.txt"), [&] {
        const std::string text = script.str();
        return std::vector<uint8_t>(text.begin(), text.end());
    }());

    // Output goes to a file, not a pipe: Wine's service processes inherit the
    // host's handles and would hold a pipe open long after the host is done.
    const char* wine = std::getenv("QUORVANE_WINE");
    const std::string outputPath = Path("host-output.txt");
    qv::test::RunCommand(std::string(wine != nullptr && *wine != 0 ? wine : "wine") + " '" + host + "' batch '" +
                         WindowsPath(Dll()) + "' '" + WindowsPath(Path("script.txt")) + "' > '" + outputPath +
                         "' 2>/dev/null < /dev/null");
    const std::vector<uint8_t> bytes = qv::test::ReadFileBytes(outputPath);
    const std::string output(bytes.begin(), bytes.end());
    std::istringstream lines(output);
    std::string line, label;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // the Windows console's line ends
        if (line.rfind("== ", 0) == 0) {
            label = line.substr(3);
            suite_->sections[label];
        } else if (!label.empty()) {
            suite_->sections[label] += line + "\n";
        }
    }
    suite_->ran = !suite_->sections.empty();
}

// ---- The export table, read from the file ----

// The eleven decorated export names, in the export table's (sorted) order.
const std::vector<std::string> kExportNames = {
    "_DrawMorph@76",         "_GetAVIframe@16",         "_GetAVIinfo@20",
    "_RenderAnimatedGIF@16", "_RenderAnimatedGIFEnd@4", "_RenderAnimatedGIFStart@28",
    "_RenderCompressed@16",  "_RenderCompressedEnd@4",  "_RenderCompressedStart@32",
    "_SaveToFreeImage@32",   "_SetVars@16"};

class WindowsDllFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* dir = std::getenv("QUORVANE_WIN32_DIR");
        if (dir == nullptr || *dir == 0) GTEST_SKIP() << "QUORVANE_WIN32_DIR not set: Windows build not tested";
        dll_ = std::string(dir) + "/Quorvane.dll";
        ASSERT_TRUE(std::filesystem::exists(dll_)) << dll_;
    }
    std::string dll_;
};

TEST_F(WindowsDllFile, ExportTableListsExactlyTheElevenDecoratedNames)
{
    const qv::test::PeExports pe = qv::test::ReadPeExports(dll_);
    ASSERT_TRUE(pe.valid);
    EXPECT_EQ(pe.machine, 0x14C);
    EXPECT_TRUE(pe.pe32);
    EXPECT_TRUE(pe.dll);
    EXPECT_EQ(pe.moduleName, "Quorvane.dll");
    EXPECT_EQ(pe.names, kExportNames);
    EXPECT_EQ(pe.functionCount, 11u);
}

TEST_F(WindowsDllFile, NeedsOnlySystemModulesToLoad)
{
    // The runtimes are linked in and FreeImage.dll is bound on first use, so
    // a host needs nothing beside the DLL to render and to read video.
    // The window and dialog calls are reached through AVIFile, so user32
    // and msvfw32 are not among them.
    const qv::test::PeExports pe = qv::test::ReadPeExports(dll_);
    ASSERT_TRUE(pe.valid);
    std::vector<std::string> modules;
    for (std::string module : pe.imports) {
        std::transform(module.begin(), module.end(), module.begin(), [](char c) { return char(std::tolower(c)); });
        modules.push_back(module);
    }
    std::sort(modules.begin(), modules.end());
    EXPECT_EQ(modules, (std::vector<std::string>{"avifil32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll"}));
}

TEST_F(WindowsDllFile, BindsFreeImageOnFirstUseThroughALoadingStubForEveryCall)
{
    // Each delay-load slot must hold the address of the stub that loads
    // FreeImage.dll and binds the name; a slot left 0 sends the first image
    // call to address 0. (The files are written through FreeImage's handle
    // calls, so FreeImage_Save itself is not bound.)
    const qv::test::PeExports pe = qv::test::ReadPeExports(dll_);
    ASSERT_TRUE(pe.valid);
    ASSERT_EQ(pe.delayImports.size(), 1u);
    const qv::test::PeDelayImport& freeImage = pe.delayImports[0];
    EXPECT_EQ(freeImage.module, "FreeImage.dll");
    std::vector<std::string> names = freeImage.names;
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {
        "_FreeImage_Allocate@24",   "_FreeImage_ColorQuantize@8", "_FreeImage_ConvertTo24Bits@4",
        "_FreeImage_GetBPP@4",      "_FreeImage_GetBits@4",       "_FreeImage_GetHeight@4",
        "_FreeImage_GetInfo@4",     "_FreeImage_GetPalette@4",    "_FreeImage_GetScanLine@8",
        "_FreeImage_GetWidth@4",    "_FreeImage_SaveToHandle@20", "_FreeImage_Unload@4"};
    EXPECT_EQ(names, expected);
    ASSERT_EQ(freeImage.slots.size(), freeImage.names.size());
    for (size_t i = 0; i < freeImage.slots.size(); ++i) {
        EXPECT_NE(freeImage.slots[i], 0u) << freeImage.names[i];
        EXPECT_TRUE(freeImage.slotInCode[i]) << freeImage.names[i] << " slot " << std::hex << freeImage.slots[i];
    }
}

// ---- The host's FreeImage.dll (scripts/build-freeimage-win32.sh) ----

class FreeImageDllFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* dir = std::getenv("QUORVANE_FREEIMAGE_DIR");
        if (dir == nullptr || *dir == 0) GTEST_SKIP() << "QUORVANE_FREEIMAGE_DIR not set: no FreeImage.dll built";
        pe_ = qv::test::ReadPeExports(std::string(dir) + "/FreeImage.dll");
        ASSERT_TRUE(pe_.valid);
    }
    bool Exports(const std::string& name) const
    {
        return std::find(pe_.names.begin(), pe_.names.end(), name) != pe_.names.end();
    }
    qv::test::PeExports pe_;
};

TEST_F(FreeImageDllFile, ExportsTheDecoratedNamesThatTheLibraryBinds)
{
    EXPECT_EQ(pe_.machine, 0x14C);
    EXPECT_TRUE(pe_.dll);
    EXPECT_EQ(pe_.moduleName, "FreeImage.dll");
    // Every name of platform/win32/FreeImage.def.
    for (const char* name :
         {"_FreeImage_Allocate@24", "_FreeImage_ColorQuantize@8", "_FreeImage_ConvertTo24Bits@4", "_FreeImage_GetBPP@4",
          "_FreeImage_GetBits@4", "_FreeImage_GetHeight@4", "_FreeImage_GetInfo@4", "_FreeImage_GetPalette@4",
          "_FreeImage_GetScanLine@8", "_FreeImage_GetWidth@4", "_FreeImage_Save@16", "_FreeImage_SaveToHandle@20",
          "_FreeImage_Unload@4"})
        EXPECT_TRUE(Exports(name)) << name;
}

TEST_F(FreeImageDllFile, ArgumentBytesFollowTheDeclarationsWithDoublesTakingEight)
{
    // Sizes worked out by hand from FreeImage.h: pointers, ints, enums and
    // BOOLs take 4 bytes, doubles 8; no arguments gives @0; the variadic
    // message call is a C call, exported undecorated.
    for (const char* name : {"_FreeImage_GetVersion@0", "_FreeImage_Initialise@4", "_FreeImage_Rotate@16",
                             "_FreeImage_RotateEx@48", "_FreeImage_AdjustColors@32", "_FreeImage_ColorQuantizeEx@20",
                             "_FreeImage_Rescale@16", "FreeImage_OutputMessageProc"})
        EXPECT_TRUE(Exports(name)) << name;
    for (const std::string& name : pe_.names) {
        const bool decorated = name.rfind("_FreeImage_", 0) == 0 && name.find('@') != std::string::npos;
        EXPECT_TRUE(decorated || name == "FreeImage_OutputMessageProc") << name;
    }
    EXPECT_EQ(pe_.functionCount, pe_.names.size());
}

TEST_F(FreeImageDllFile, ImportsOnlySystemModules)
{
    std::vector<std::string> modules;
    for (std::string module : pe_.imports) {
        std::transform(module.begin(), module.end(), module.begin(), [](char c) { return char(std::tolower(c)); });
        modules.push_back(module);
    }
    std::sort(modules.begin(), modules.end());
    EXPECT_EQ(modules, (std::vector<std::string>{"kernel32.dll", "msvcrt.dll"}));
}

// ---- Calling convention ----

TEST_F(WindowsDll, EveryExportIsBoundByNameAndRemovesItsArgumentBytes)
{
    const std::string& output = Section("exports");
    Fields load = Parse(output);
    ASSERT_EQ(load["loaded"], "1");
    // The load routine reports success for every reason.
    EXPECT_EQ(load["thread-attach"], "1");
    EXPECT_EQ(load["thread-detach"], "1");
    // Each export was called with zeroed slots: refused early, with its code.
    const std::map<std::string, std::string> refusals = {
        {"_DrawMorph@76", "42"},          {"_RenderCompressedStart@32", "1"}, {"_RenderCompressed@16", "1"},
        {"_GetAVIinfo@20", "1"},          {"_GetAVIframe@16", "1"},           {"_SaveToFreeImage@32", "0"},
        {"_RenderAnimatedGIFStart@28", "1"}, {"_RenderAnimatedGIF@16", "1"}};
    // The host prints "NAME bound=1 removed=N result=R" per export; N must be
    // the number that the decorated name ends with.
    for (const std::string& name : kExportNames) {
        const std::string bytes = name.substr(name.find('@') + 1);
        const size_t at = output.find(name + " bound=");
        ASSERT_NE(at, std::string::npos) << name;
        Fields line = Parse(output.substr(at, output.find('\n', at) - at));
        EXPECT_EQ(line["bound"], "1") << name;
        EXPECT_EQ(line["removed"], bytes) << name;
        if (refusals.count(name) != 0) {
            EXPECT_EQ(line["result"], refusals.at(name)) << name;
        }
    }
}

TEST_F(WindowsDll, ImageCallsFailWithTheirCodesWhenTheHostHasNoFreeImage)
{
    // No FreeImage.dll is installed beside the test host.
    Fields f = Parse(Section("image"));
    EXPECT_EQ(f["gif-start"], "3");
    EXPECT_EQ(f["handle-stored"], "1");
    EXPECT_EQ(f["gif-frame"], "1");
    EXPECT_EQ(f["still"], "0");
}

// ---- GIF and stills with the host's FreeImage.dll ----

// The portable build's files for the same pictures, named as the host's.
void WritePortableImageFiles(const std::string& directory)
{
    for (int32_t depth : qv::test::kExportDepths) {
        qv::test::HostPicture picture(qv::test::kExportWidth, qv::test::kExportHeight, depth);
        if (depth == 8)
            for (int32_t i = 0; i < 256; ++i) GetHostBitmapPalette(picture.bitmap())[i] = qv::test::ExportPaletteWord(i);
        auto fill = [&](int32_t frame) {
            qv::test::FillExportPicture(GetHostBitmapBits(picture.bitmap()), GetHostBitmapStride(picture.bitmap()), depth,
                                      frame);
        };
        const std::string stem = directory + "/portable-" + std::to_string(depth);
        GifWriter* writer = nullptr;
        RenderAnimatedGIFStart((stem + ".gif").c_str(), qv::test::kExportWidth, qv::test::kExportHeight, depth, 2500, 0,
                               &writer);
        for (int32_t frame = 0; frame < 2; ++frame) {
            fill(frame);
            RenderAnimatedGIF(picture.dc(), picture.bitmap(), frame + 1, writer);
        }
        RenderAnimatedGIFEnd(writer);
        fill(0);
        for (const auto& [extension, format] : {std::pair{"png", 13}, std::pair{"tif", 5}, std::pair{"jpg", 4}})
            SaveToFreeImage(picture.dc(), picture.bitmap(), qv::test::kExportWidth, qv::test::kExportHeight, depth,
                            (stem + "." + extension).c_str(), format, 0);
    }
}

// Decoded pixels of an image file: depth, then every scan line's bytes.
std::vector<uint8_t> DecodedPixels(const std::string& path)
{
    FIBITMAP* picture = FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0);
    if (picture == nullptr) return {};
    std::vector<uint8_t> pixels = {uint8_t(FreeImage_GetBPP(picture))};
    const unsigned rowBytes = FreeImage_GetLine(picture);
    for (unsigned y = 0; y < FreeImage_GetHeight(picture); ++y) {
        const BYTE* row = FreeImage_GetScanLine(picture, int(y));
        pixels.insert(pixels.end(), row, row + rowBytes);
    }
    if (RGBQUAD* palette = FreeImage_GetPalette(picture))
        pixels.insert(pixels.end(), reinterpret_cast<uint8_t*>(palette),
                      reinterpret_cast<uint8_t*>(palette + FreeImage_GetColorsUsed(picture)));
    FreeImage_Unload(picture);
    return pixels;
}

class WindowsDllWithFreeImage : public WindowsDll {
protected:
    void SetUp() override
    {
        WindowsDll::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const char* dir = std::getenv("QUORVANE_FREEIMAGE_DIR");
        if (dir == nullptr || *dir == 0) GTEST_SKIP() << "QUORVANE_FREEIMAGE_DIR not set: no FreeImage.dll built";
        static bool written = false;
        if (!written) WritePortableImageFiles(Path(""));
        written = true;
        ASSERT_EQ(Parse(Section("freeimage-dir"))["set"], "1");
    }
};

TEST_F(WindowsDllWithFreeImage, GifOfEveryDepthIsByteIdenticalToThePortableFile)
{
    const std::string& output = Section("image-exports");
    for (int32_t depth : qv::test::kExportDepths) {
        SCOPED_TRACE(depth);
        const std::string tag = "depth" + std::to_string(depth) + " ";
        const size_t at = output.find(tag);
        ASSERT_NE(at, std::string::npos);
        Fields f = Parse(output.substr(at, output.find('\n', at) - at));
        EXPECT_EQ(f["gif-start"], "0");
        EXPECT_EQ(f["frame0"], "0");
        EXPECT_EQ(f["frame1"], "0");
        const std::vector<uint8_t> windows = qv::test::ReadFileBytes(Path("windows-" + std::to_string(depth) + ".gif"));
        ASSERT_FALSE(windows.empty());
        EXPECT_EQ(windows, qv::test::ReadFileBytes(Path("portable-" + std::to_string(depth) + ".gif")));
    }
}

TEST_F(WindowsDllWithFreeImage, StillsDecodeToThePortableFilesPixels)
{
    const std::string& output = Section("image-exports");
    for (int32_t depth : qv::test::kExportDepths) {
        const size_t at = output.find("depth" + std::to_string(depth) + " ");
        ASSERT_NE(at, std::string::npos);
        Fields f = Parse(output.substr(at, output.find('\n', at) - at));
        for (const char* extension : {"png", "tif", "jpg"}) {
            SCOPED_TRACE(std::to_string(depth) + " " + extension);
            EXPECT_EQ(f[extension], "1");
            const std::string name = std::to_string(depth) + "." + extension;
            const std::vector<uint8_t> windows = DecodedPixels(Path("windows-" + name));
            ASSERT_GT(windows.size(), 1u);
            // JPEG too: both sides run libjpeg-turbo 2.1.5, whose SIMD code
            // is made to match its C code bit for bit.
            EXPECT_EQ(windows, DecodedPixels(Path("portable-" + name)));
        }
    }
}

// ---- The renderer ----

TEST_F(WindowsDll, DrawMorphGivesThePortableBuildsWordsThroughDibSections)
{
    ASSERT_EQ(Parse(Section("morph"))["rendered"], std::to_string(suite_->scenes.size()));
    std::vector<qv::test::RenderedScene> rendered;
    ASSERT_TRUE(qv::test::ReadRendered(Path("rendered.bin"), rendered));
    ASSERT_EQ(rendered.size(), suite_->scenes.size());
    for (size_t n = 0; n < rendered.size(); ++n) {
        qv::test::RefScene scene = suite_->scenes[n];
        std::vector<uint32_t> expected;
        const int32_t result = qv::test::RenderThroughLibrary(scene, expected);
        ASSERT_EQ(rendered[n].result, result) << "scene " << n;
        EXPECT_EQ(rendered[n].argumentBytesRemoved, 76u) << "scene " << n;
        ASSERT_EQ(rendered[n].words, expected) << "scene " << n << " flags " << scene.flags << " block "
                                               << scene.blockSize;
        ASSERT_EQ(rendered[n].triangles.size(), scene.triangles.size());
        for (size_t t = 0; t < scene.triangles.size(); ++t)
            ASSERT_EQ(std::memcmp(rendered[n].triangles[t].v, scene.triangles[t].v, 6), 0) << "scene " << n;
    }
}

// ---- Video ----

// What the portable reader draws into a 32-bit picture prefilled like the host's.
std::vector<uint32_t> PortableFrame(const std::string& path, int32_t position, float zoom, int32_t width,
                                    int32_t height, int32_t* result)
{
    qv::test::HostPicture target(width, height, 32);
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

std::vector<uint32_t> WindowsWords(const std::string& path)
{
    std::vector<qv::test::RenderedScene> drawn;
    if (!qv::test::ReadRendered(path, drawn) || drawn.size() != 1) return {};
    return drawn[0].words;
}

TEST_F(WindowsDll, ReportsTheSameStreamInformationAsThePortableReader)
{
    for (const char* codec : kReadCodecs) {
        SCOPED_TRACE(codec);
        const std::string tag = CodecTag(codec);
        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(GetAVIinfo(Path("portable-" + tag + ".avi").c_str(), &w, &h, &rate, &length), 0);
        uint32_t rateBits = 0;
        std::memcpy(&rateBits, &rate, 4);
        char expectedRate[16];
        std::snprintf(expectedRate, sizeof(expectedRate), "%08x", rateBits);
        Fields info = Parse(Section("info-" + tag));
        EXPECT_EQ(info["result"], "0");
        EXPECT_EQ(info["width"], std::to_string(w));
        EXPECT_EQ(info["height"], std::to_string(h));
        EXPECT_EQ(info["rate"], expectedRate);
        EXPECT_EQ(info["length"], std::to_string(length));
    }
}

TEST_F(WindowsDll, DrawsTheFramesThatThePortableWriterMade)
{
    for (const char* codec : kReadCodecs) {
        const std::string tag = CodecTag(codec);
        for (int32_t position : kReadPositions) {
            SCOPED_TRACE(tag + " frame " + std::to_string(position));
            const std::string label = "frame-" + tag + "-" + std::to_string(position);
            Fields drawn = Parse(Section(label));
            EXPECT_EQ(drawn["result"], "0");
            EXPECT_EQ(drawn["mode"], "1") << "an unzoomed draw leaves the stretch mode as it was";
            int32_t portableResult = -1;
            const std::vector<uint32_t> portable =
                PortableFrame(Path("portable-" + tag + ".avi"), position, 1.0f, kReadW, kReadH, &portableResult);
            ASSERT_EQ(portableResult, 0);
            const std::vector<uint32_t> windows = WindowsWords(Path(label + ".bin"));
            if (tag == "cvid") {
                // The two platforms' Cinepak decoders round their colour
                // conversion differently, by one level at most.
                EXPECT_LE(MaxChannelDifference(windows, portable), 1);
            } else {
                EXPECT_EQ(windows, portable);
            }
        }
    }
}

TEST_F(WindowsDll, ZoomedFramesCoverTheSameAreaAndLeaveColorOnColor)
{
    for (const auto& [zoom, bits] : {std::pair{0.5f, "3f000000"}, std::pair{2.0f, "40000000"}}) {
        SCOPED_TRACE(zoom);
        Fields drawn = Parse(Section(std::string("zoom-") + bits));
        EXPECT_EQ(drawn["result"], "0");
        EXPECT_EQ(drawn["mode"], "3");
        int32_t portableResult = -1;
        const std::vector<uint32_t> portable =
            PortableFrame(Path("portable-dib.avi"), 1, zoom, kZoomCanvasW, kZoomCanvasH, &portableResult);
        ASSERT_EQ(portableResult, 0);
        const std::vector<uint32_t> windows = WindowsWords(Path(std::string("zoom-") + bits + ".bin"));
        ASSERT_EQ(windows.size(), portable.size());
        // Both draw exactly the zoomed rectangle: the prefill shows elsewhere.
        for (size_t i = 0; i < portable.size(); ++i)
            ASSERT_EQ(windows[i] == 0x00FF00FFu, portable[i] == 0x00FF00FFu) << "pixel " << i;
    }
}

TEST_F(WindowsDll, WritesAnAviThroughTheConfirmedCompressionDialog)
{
    Fields f = Parse(Section("write"));
    EXPECT_EQ(f["dialog-answered"], "1");
    ASSERT_EQ(f["start"], "0");
    for (int32_t position = 0; position < kWriteFrames; ++position)
        EXPECT_EQ(f["frame" + std::to_string(position)], "0") << position;
    EXPECT_EQ(f["ended"], "1");

    // Read back with the portable reader.
    const std::string path = Path("windows.avi");
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &rate, &length), 0);
    EXPECT_EQ(w, kWriteW);
    EXPECT_EQ(h, kWriteH);
    EXPECT_EQ(rate, 25.0f);
    EXPECT_EQ(length, kWriteFrames);
    // The platform's writer may leave zero bytes after the RIFF list, where
    // the file was longer than what it finally wrote.
    std::vector<uint8_t> bytes = qv::test::ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 8u);
    const size_t riffEnd = size_t(qv::test::AviLayout{}.U32(bytes, 4)) + 8;
    ASSERT_LE(riffEnd, bytes.size());
    EXPECT_TRUE(std::all_of(bytes.begin() + std::ptrdiff_t(riffEnd), bytes.end(), [](uint8_t b) { return b == 0; }));
    bytes.resize(riffEnd);
    const qv::test::AviLayout layout = qv::test::ParseAvi(bytes);
    ASSERT_TRUE(layout.valid);
    EXPECT_EQ(layout.U32(layout.strh, 20), 100u) << "scale";
    EXPECT_EQ(layout.U32(layout.strh, 24), 2500u) << "rate";
    // Uncompressed frames are all key frames, so the platform's own reader
    // serves each as itself.
    ASSERT_EQ(layout.index.size(), size_t(kWriteFrames));
    for (const qv::test::AviIndexEntry& entry : layout.index) EXPECT_EQ(entry.flags & 0x10u, 0x10u);
    for (int32_t position = 0; position < kWriteFrames; ++position) {
        int32_t result = -1;
        const std::vector<uint32_t> words = PortableFrame(path, position, 1.0f, kWriteW, kWriteH, &result);
        ASSERT_EQ(result, 0);
        std::vector<uint32_t> expected(size_t(kWriteW) * size_t(kWriteH));
        for (int32_t y = 0; y < kWriteH; ++y)
            for (int32_t x = 0; x < kWriteW; ++x)
                expected[size_t(y) * kWriteW + size_t(x)] = qv::test::PatternWord(x, y, position);
        EXPECT_EQ(words, expected) << "frame " << position;
    }
}

TEST_F(WindowsDll, CancellingTheDialogReturnsFourAndKeepsTheFile)
{
    Fields f = Parse(Section("cancel"));
    EXPECT_EQ(f["dialog-answered"], "1");
    EXPECT_EQ(f["start"], "4");
    EXPECT_EQ(f["ended"], "1");
    EXPECT_TRUE(std::filesystem::exists(Path("cancelled.avi")));
}

}  // namespace
