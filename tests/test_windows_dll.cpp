// Quorvane.dll, the 32-bit Windows build, as an outside Windows host sees it:
// its export table read from the file, and a host program (tests/win32) run
// under Wine that binds the exports by name, renders through DIB sections and
// memory device contexts, reads AVI files that this build wrote and writes
// one through the compression dialog, writes GIFs and stills with a
// FreeImage.dll, meets outputs that cannot be written, and starts a second
// host written in C. Every result is compared with what the portable build
// gives for the same inputs.
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
#include <set>
#include <sstream>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include <FreeImage.h>

#include "support/avi_test_files.h"
#include "support/bit_accumulator_run.h"
#include "support/export_pattern.h"
#include "support/frame_pattern.h"
#include "support/gif_decoded.h"
#include "support/host_scene.h"
#include "support/indexed_gif_pictures.h"
#include "support/libav_decoded.h"
#include "support/noise_picture.h"
#include "support/pe_exports.h"
#include "support/scene_file.h"

namespace {

using Fields = std::map<std::string, std::string>;

// Starting a Windows process is slow where 32-bit code is emulated, so the
// suite prepares every input first, hands the host one batch, and each test
// then checks its part of the output.
class WindowsDll : public ::testing::Test {
public:
    // One run of the host serves every suite of the process (a run is one
    // Wine session); it is made by the first suite that starts.
    static void SetUpTestSuite();

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

// 8-bit pictures for the GIF writer: random sizes (with the code stream's
// edge cases: one pixel, 225 pixels that fill one sub-block exactly, 254
// pixels that end on a clear code), random colour tables, indices and hold
// times, one to three frames each.
std::vector<qv::test::IndexedGif> IndexedGifMix()
{
    std::mt19937 rng(1789);
    auto uniform = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    std::vector<std::pair<uint32_t, uint32_t>> sizes = {{1, 1}, {15, 15}, {254, 1}, {127, 2}, {100, 3}};
    while (sizes.size() < 24) sizes.push_back({uniform(1, 90), uniform(1, 50)});
    std::vector<qv::test::IndexedGif> gifs;
    for (const auto& [width, height] : sizes) {
        qv::test::IndexedGif gif;
        gif.width = width, gif.height = height;
        gif.frames.resize(uniform(1, 3));
        for (qv::test::IndexedFrame& frame : gif.frames) {
            frame.holdFrames = uniform(0, 9);
            frame.palette.resize(256);
            for (uint32_t& word : frame.palette) word = uint32_t(rng()) & 0x00FFFFFFu;
            frame.indices.resize(size_t(width) * height);
            // Some pictures use a few indices only, as real 8-bit ones do.
            const uint32_t highest = uniform(0, 1) != 0 ? 255u : uniform(0, 15);
            for (uint8_t& index : frame.indices) index = uint8_t(uniform(0, highest));
        }
        gifs.push_back(std::move(gif));
    }
    return gifs;
}

// Operations on the GIF writer's bit queue: appends of every width from 0 to
// 40 (above 32 the value keeps 32 bits and the count grows by the width),
// appended accumulators, shifts by up to past the register's length, and
// byte takes, also from an empty or nearly empty queue. The appends are kept
// within the 1024-bit capacity.
std::vector<qv::test::BitStep> BitStepMix()
{
    std::mt19937 rng(1024);
    auto uniform = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    std::vector<qv::test::BitStep> steps;
    qv::gif::BitAccumulator model;  // only to keep the appends within capacity
    for (int n = 0; n < 30000; ++n) {
        qv::test::BitStep step;
        const uint32_t choice = uniform(0, 99);
        if (choice < 45) {
            step = {qv::test::BitOperation::AppendBits, uint32_t(rng()), uniform(0, 40)};
        } else if (choice < 55) {
            step = {qv::test::BitOperation::AppendAccumulator, uint32_t(rng()), uniform(0, 40)};
        } else if (choice < 60) {
            step = {qv::test::BitOperation::ShiftLeft, uniform(0, 3) == 0 ? uniform(0, 1100) : uniform(0, 40), 0};
        } else if (choice < 65) {
            step = {qv::test::BitOperation::ShiftRight, uniform(0, 3) == 0 ? uniform(0, 1100) : uniform(0, 40), 0};
        } else if (choice < 99) {
            step = {qv::test::BitOperation::TakeByte, 0, 0};
        }  // else Clear
        const uint32_t added = step.operation == qv::test::BitOperation::AppendBits          ? step.b
                               : step.operation == qv::test::BitOperation::AppendAccumulator ? step.b + step.b / 2
                                                                                           : 0;
        if (model.bitCount() + added > qv::gif::BitAccumulator::kCapacityBits) step = {qv::test::BitOperation::Clear};
        qv::test::ApplyBitStep(model, step);
        steps.push_back(step);
    }
    return steps;
}

// The full-disk cases run where test-windows.sh mapped a drive to a small
// filesystem of the test's own (QUORVANE_FULL_DISK_DRIVE, e.g. "Q:", over
// the directory QUORVANE_FULL_DISK_DIR).
const char* FullDiskDrive()
{
    const char* drive = std::getenv("QUORVANE_FULL_DISK_DRIVE");
    const char* dir = std::getenv("QUORVANE_FULL_DISK_DIR");
    return drive != nullptr && *drive != 0 && dir != nullptr && *dir != 0 ? drive : nullptr;
}

// Room that the host frees, one reserve file per case that fills up partway.
constexpr uintmax_t kReserveGif = 8192, kReserveAvi = 16384, kReserveStill = 4096;

// Empties the small filesystem, writes the reserve files, and fills the rest
// until the filesystem refuses another byte.
bool PrepareFullDisk()
{
    const std::filesystem::path dir = std::getenv("QUORVANE_FULL_DISK_DIR");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
        std::filesystem::remove_all(entry.path(), error);
    auto fill = [](const std::filesystem::path& path, uintmax_t bytes) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) return uintmax_t(0);
        const std::vector<char> block(4096, 'f');
        uintmax_t written = 0;
        while (written < bytes && std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
               std::fflush(file) == 0)
            written += block.size();
        std::fclose(file);
        return std::min(written, bytes);
    };
    if (fill(dir / "reserve-gif.bin", kReserveGif) != kReserveGif ||
        fill(dir / "reserve-avi.bin", kReserveAvi) != kReserveAvi ||
        fill(dir / "reserve-still.bin", kReserveStill) != kReserveStill)
        return false;
    fill(dir / "filler.bin", UINTMAX_MAX);
    const std::filesystem::space_info space = std::filesystem::space(dir, error);
    return !error && space.available == 0;
}

constexpr int kInteractiveSeconds = 120;

// The second host's folder: its .exe, Quorvane.dll and (when there is one)
// FreeImage.dll side by side.
bool ShipInteractiveHost(const std::string& folder, const char* freeImageDir)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string build = std::getenv("QUORVANE_WIN32_DIR");
    std::vector<std::string> files = {build + "/tests/win32/quorvane_interactive_host.exe", build + "/Quorvane.dll"};
    if (freeImageDir != nullptr && *freeImageDir != 0) files.push_back(std::string(freeImageDir) + "/FreeImage.dll");
    for (const std::string& file : files) {
        std::filesystem::copy_file(file, folder + "/" + std::filesystem::path(file).filename().string(),
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error) return false;
    }
    return true;
}

void WindowsDll::SetUpTestSuite()
{
    const char* dir = std::getenv("QUORVANE_WIN32_DIR");
    if (dir == nullptr || *dir == 0 || suite_) return;
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
    // The second host runs from a folder that holds it, Quorvane.dll and
    // FreeImage.dll, as a host ships them, and loads the library by its bare
    // name; it runs before this process sets a DLL directory.
    const char* freeImageDir = std::getenv("QUORVANE_FREEIMAGE_DIR");
    if (!ShipInteractiveHost(Path("shipped"), freeImageDir)) return;
    script << "interactive run " << kInteractiveSeconds << " "
           << WindowsPath(Path("shipped/quorvane_interactive_host.exe")) << " Quorvane.dll " << WindowsPath(Path(""))
           << "\n";
    // Last, as FreeImage.dll stays loaded once found: the image calls with it.
    if (freeImageDir != nullptr && *freeImageDir != 0) {
        script << "freeimage-dir dll-directory " << WindowsPath(freeImageDir) << "\n";
        script << "image-exports image-exports " << WindowsPath(Path("")) << "\n";
        if (!qv::test::WriteIndexedGifs(Path("indexed.bin"), IndexedGifMix())) return;
        script << "indexed indexed-gifs " << WindowsPath(Path("indexed.bin")) << " " << WindowsPath(Path("")) << "\n";
        script << "unwritable unwritable " << WindowsPath(Path(""));
        if (const char* readOnly = std::getenv("QUORVANE_READONLY_DRIVE"); readOnly != nullptr && *readOnly != 0)
            script << " " << readOnly << "\\";
        script << "\n";
        if (const char* drive = FullDiskDrive(); drive != nullptr && PrepareFullDisk())
            script << "full-disk full-disk " << drive << "\\\n";
    }
    if (!qv::test::WriteItems(Path("bit-steps.bin"), BitStepMix())) return;
    script << "bits bit-accumulator " << WindowsPath(Path("bit-steps.bin")) << " "
           << WindowsPath(Path("bit-states.bin")) << "\n";

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

// ---- The GIF writer's bit packing ----

TEST_F(WindowsDll, BitAccumulatorBuiltForWindowsHoldsThePortableWordsAfterEveryStep)
{
    ASSERT_EQ(Parse(Section("bits"))["steps"], "30000");
    const std::vector<qv::test::BitStep> steps = BitStepMix();
    std::vector<qv::test::BitState> windows;
    ASSERT_TRUE(qv::test::ReadItems(Path("bit-states.bin"), windows));
    ASSERT_EQ(windows.size(), steps.size());
    qv::gif::BitAccumulator accumulator;
    uint32_t fullest = 0, taken = 0;
    for (size_t n = 0; n < steps.size(); ++n) {
        const qv::test::BitState portable = qv::test::ApplyBitStep(accumulator, steps[n]);
        ASSERT_EQ(std::memcmp(&windows[n], &portable, sizeof portable), 0)
            << "step " << n << " operation " << uint32_t(steps[n].operation) << " a " << steps[n].a << " b "
            << steps[n].b << ": count " << windows[n].count << " against " << portable.count;
        fullest = std::max(fullest, portable.count);
        taken += portable.taken != 0xFFFFFFFFu && portable.taken != 0;
    }
    // The run reached the top of the register and took real bytes.
    EXPECT_GT(fullest, 990u);
    EXPECT_GT(taken, 3000u);
}

// The portable build's file of the same 8-bit frames.
std::vector<uint8_t> PortableIndexedGif(const qv::test::IndexedGif& gif, const std::string& path)
{
    GifWriter* writer = nullptr;
    if (RenderAnimatedGIFStart(path.c_str(), int32_t(gif.width), int32_t(gif.height), 8, 2500, 0, &writer) != 0)
        return {};
    for (const qv::test::IndexedFrame& frame : gif.frames) {
        qv::test::HostPicture picture(int32_t(gif.width), int32_t(gif.height), 8);
        std::copy(frame.palette.begin(), frame.palette.end(), picture.palette());
        picture.fillIndices([&](int x, int y) { return frame.indices[size_t(y) * gif.width + size_t(x)]; });
        RenderAnimatedGIF(picture.dc(), picture.bitmap(), int32_t(frame.holdFrames), writer);
    }
    RenderAnimatedGIFEnd(writer);
    return qv::test::ReadFileBytes(path);
}

TEST_F(WindowsDllWithFreeImage, EightBitGifsPackTheSameCodeStreamsAsThePortableBuild)
{
    const std::vector<qv::test::IndexedGif> gifs = IndexedGifMix();
    Fields f = Parse(Section("indexed"));
    ASSERT_EQ(f["gifs"], std::to_string(gifs.size()));
    EXPECT_EQ(f["failures"], "0");
    for (size_t n = 0; n < gifs.size(); ++n) {
        SCOPED_TRACE("gif " + std::to_string(n) + ": " + std::to_string(gifs[n].width) + " x " +
                     std::to_string(gifs[n].height));
        const std::vector<uint8_t> windows = qv::test::ReadFileBytes(Path("indexed-" + std::to_string(n) + ".gif"));
        ASSERT_FALSE(windows.empty());
        EXPECT_EQ(windows, PortableIndexedGif(gifs[n], Path("portable-indexed-" + std::to_string(n) + ".gif")));
    }
}

// ---- Other decoders read the DLL's GIF files ----

// FFmpeg's frames of a GIF against giflib's, colour for colour.
void ExpectLibavFramesMatch(const std::string& path, const qv::test::DecodedGif& decoded)
{
    const std::vector<std::vector<uint8_t>> frames = qv::test::LibavDecodeBgr24(path);
    ASSERT_EQ(frames.size(), decoded.frames.size());
    for (size_t n = 0; n < frames.size(); ++n) {
        const qv::test::DecodedFrame& frame = decoded.frames[n];
        ASSERT_EQ(frames[n].size(), size_t(frame.width) * size_t(frame.height) * 3) << "frame " << n;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) {
                const qv::test::Rgb rgb = frame.colorAt(x, y);
                const uint8_t* bgr = frames[n].data() + (size_t(y) * size_t(frame.width) + size_t(x)) * 3;
                ASSERT_EQ((qv::test::Rgb{bgr[2], bgr[1], bgr[0]}), rgb) << "frame " << n << " at " << x << "," << y;
            }
    }
}

TEST_F(WindowsDllWithFreeImage, GiflibAndFfmpegDecodeTheDllsGifsToTheirPictures)
{
    // 8-bit pictures: every pixel is known.
    const std::vector<qv::test::IndexedGif> gifs = IndexedGifMix();
    for (size_t n = 0; n < gifs.size(); ++n) {
        SCOPED_TRACE("indexed gif " + std::to_string(n));
        const std::string path = Path("indexed-" + std::to_string(n) + ".gif");
        const qv::test::DecodedGif decoded = qv::test::DecodeWithGiflib(path);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.loopCount, 0);
        ASSERT_EQ(decoded.frames.size(), gifs[n].frames.size());
        for (size_t i = 0; i < gifs[n].frames.size(); ++i) {
            const qv::test::IndexedFrame& frame = gifs[n].frames[i];
            const qv::test::DecodedFrame& got = decoded.frames[i];
            ASSERT_EQ(got.width, int(gifs[n].width));
            ASSERT_EQ(got.height, int(gifs[n].height));
            EXPECT_EQ(got.delay, int(4 * frame.holdFrames));
            for (size_t p = 0; p < frame.indices.size(); ++p) {
                const uint32_t word = frame.palette[frame.indices[p]];
                ASSERT_EQ(got.palette.at(got.indices[p]),
                          (qv::test::Rgb{uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)}))
                    << "frame " << i << " pixel " << p;
            }
        }
        // FFmpeg composes each frame on the screen; these cover it whole.
        ExpectLibavFramesMatch(path, decoded);
    }
    // Quantised pictures of every depth: both decoders see the same frames.
    for (int32_t depth : qv::test::kExportDepths) {
        SCOPED_TRACE(depth);
        const std::string path = Path("windows-" + std::to_string(depth) + ".gif");
        const qv::test::DecodedGif decoded = qv::test::DecodeWithGiflib(path);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.frames.size(), 2u);
        EXPECT_EQ(decoded.screenWidth, qv::test::kExportWidth);
        EXPECT_EQ(decoded.screenHeight, qv::test::kExportHeight);
        ExpectLibavFramesMatch(path, decoded);
    }
}

// ---- Outputs that cannot be written ----

// The fields of the host's line that starts with `label` in a section.
Fields Line(const std::string& section, const std::string& label)
{
    const size_t at = section.find(label + " ");
    if (at == std::string::npos) return {};
    const size_t end = section.find('\n', at);
    Fields fields;
    std::istringstream words(section.substr(at, end == std::string::npos ? std::string::npos : end - at));
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return fields;
}

// Files that cannot be created: the GIF writer's start fails with 2 and
// hands back a handle whose frames are refused (1); no still is saved; the
// AVI writer fails with 2 before it asks for a compressor.
void ExpectNotCreated(const std::string& section, const std::string& label)
{
    SCOPED_TRACE(label);
    Fields gif = Line(section, label + "-gif");
    EXPECT_EQ(gif["gif-start"], "2");
    EXPECT_EQ(gif["stored"], "1");
    EXPECT_EQ(gif["frame0"], "1");
    EXPECT_EQ(gif["ended"], "1");
    Fields still = Line(section, label + "-still");
    EXPECT_EQ(still["png"], "0");
    EXPECT_EQ(still["tif"], "0");
    EXPECT_EQ(still["jpg"], "0");
    Fields avi = Line(section, label + "-avi");
    EXPECT_EQ(avi["avi-start"], "2");
    EXPECT_EQ(avi["dialog"], "0");
    EXPECT_EQ(avi["ended"], "1");
}

TEST_F(WindowsDllWithFreeImage, MissingFoldersAndNamesThatCannotBeWrittenGiveTheOpenFailureCodes)
{
    const std::string& section = Section("unwritable");
    for (const char* label : {"missing", "folder", "refused"}) ExpectNotCreated(section, label);
    // Nothing was made in their place.
    EXPECT_FALSE(std::filesystem::exists(Path("no-such-folder")));
    EXPECT_TRUE(std::filesystem::is_directory(Path("a-folder")));
    EXPECT_TRUE(std::filesystem::is_empty(Path("a-folder")));
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
        EXPECT_EQ(entry.path().filename().string().find("bad"), std::string::npos) << entry.path();
}

TEST_F(WindowsDllWithFreeImage, ReadOnlyDriveGivesTheOpenFailureCodes)
{
    if (std::getenv("QUORVANE_READONLY_DRIVE") == nullptr)
        GTEST_SKIP() << "QUORVANE_READONLY_DRIVE not set: no read-only drive could be mounted (needs root)";
    ExpectNotCreated(Section("unwritable"), "read-only");
}

class WindowsDllFullDisk : public WindowsDllWithFreeImage {
protected:
    void SetUp() override
    {
        if (FullDiskDrive() == nullptr)
            GTEST_SKIP() << "QUORVANE_FULL_DISK_DRIVE not set: no small filesystem could be mounted (needs root)";
        WindowsDllWithFreeImage::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(Section("full-disk").empty()) << "the small filesystem was not filled";
    }
    static std::string OnDisk(const std::string& name)
    {
        return std::string(std::getenv("QUORVANE_FULL_DISK_DIR")) + "/" + name;
    }
};

TEST_F(WindowsDllFullDisk, GifHeaderAndStillsFailWithTheirCodesWhenNoByteIsFree)
{
    const std::string& section = Section("full-disk");
    Fields gif = Line(section, "full-gif");
    EXPECT_EQ(gif["gif-start"], "4");
    EXPECT_EQ(gif["stored"], "1");
    for (const char* frame : {"frame0", "frame1", "frame2"}) EXPECT_EQ(gif[frame], "4") << frame;
    EXPECT_EQ(gif["ended"], "1");
    Fields still = Line(section, "full-still");
    EXPECT_EQ(still["png"], "0");
    EXPECT_EQ(still["tif"], "0");
    EXPECT_EQ(still["jpg"], "0");
}

TEST_F(WindowsDllFullDisk, GifFailsFromTheFrameThatDidNotFitAndKeepsTheFramesBefore)
{
    const std::string& section = Section("full-disk");
    EXPECT_EQ(Parse(section)["released-gif"], "1");
    Fields gif = Line(section, "partway-gif");
    ASSERT_EQ(gif["gif-start"], "0");
    // 40 x 30 frames take 18 + 768 + 2 + 1356 + 5 + 1 = 2150 bytes each:
    // after the 32-byte header, three fit in the 8192 bytes freed.
    const std::vector<std::string> expected = {"0", "0", "0", "4", "4", "4"};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(gif["frame" + std::to_string(i)], expected[i]) << i;
    EXPECT_EQ(gif["ended"], "1");
    // What was reported written is in the file as the portable build writes it.
    GifWriter* writer = nullptr;
    const std::string portablePath = Path("portable-partway.gif");
    ASSERT_EQ(RenderAnimatedGIFStart(portablePath.c_str(), 40, 30, 24, 2500, 0, &writer), 0);
    qv::test::HostPicture picture(40, 30, 32);
    for (uint32_t frame = 0; frame < 3; ++frame) {
        picture.SetWords(qv::test::NoiseWords(frame, 40 * 30));
        ASSERT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 0);
    }
    RenderAnimatedGIFEnd(writer);
    std::vector<uint8_t> portable = qv::test::ReadFileBytes(portablePath);
    ASSERT_EQ(portable.size(), 32u + 3u * 2150u + 1u);
    portable.pop_back();  // the trailer
    std::vector<uint8_t> windows = qv::test::ReadFileBytes(OnDisk("partway.gif"));
    EXPECT_LE(windows.size(), size_t(kReserveGif));
    ASSERT_GE(windows.size(), portable.size());
    windows.resize(portable.size());
    EXPECT_EQ(windows, portable);
}

TEST_F(WindowsDllFullDisk, StillThatDoesNotFitIsNotReportedSaved)
{
    const std::string& section = Section("full-disk");
    EXPECT_EQ(Parse(section)["released-still"], "1");
    Fields still = Line(section, "partway-still");
    EXPECT_EQ(still["png"], "0");
    EXPECT_EQ(still["tif"], "0");
    EXPECT_EQ(still["jpg"], "0");
}

TEST_F(WindowsDllFullDisk, AviWriterSurvivesAFullDiskThatWinesAviFileDoesNotReport)
{
    // Wine's AVIFile writes through buffered multimedia I/O and does not pass
    // on the write failures of a full disk: AVIStreamWrite succeeds (all
    // twelve frames did with 16 KiB of room), so the library cannot return 1
    // there. Where the service reports a failed write the writer returns 1
    // (host_write_failures checks that on the portable build). What is
    // checked here: no crash, the documented start, and no frame result
    // other than 0 or 1, with no frame reported written after one that was
    // not.
    const std::string& section = Section("full-disk");
    for (const auto& [label, frames] : {std::pair{"full-avi", 3}, std::pair{"partway-avi", 12}}) {
        SCOPED_TRACE(label);
        Fields avi = Line(section, label);
        EXPECT_EQ(avi["avi-start"], "0");
        EXPECT_EQ(avi["dialog"], "1");
        bool failed = false;
        for (int i = 0; i < frames; ++i) {
            const std::string result = avi["frame" + std::to_string(i)];
            ASSERT_TRUE(result == "0" || result == "1") << i << ": " << result;
            if (failed) {
                EXPECT_EQ(result, "1") << i;
            }
            failed = failed || result == "1";
        }
        EXPECT_EQ(avi["ended"], "1");
    }
    EXPECT_LE(std::filesystem::file_size(OnDisk("partway.avi")), uintmax_t(kReserveAvi));
}

// ---- A second host: a C program that changes its settings between frames ----

TEST_F(WindowsDll, InteractiveCHostGetsThePortableFramesAsItsSettingsChange)
{
    Fields run = Parse(Section("interactive"));
    ASSERT_EQ(run["started"], "1");
    ASSERT_EQ(run["finished"], "1");
    ASSERT_EQ(run["status"], "0");
    const std::vector<uint8_t> reportBytes = qv::test::ReadFileBytes(Path("interactive.txt"));
    Fields report = Parse(std::string(reportBytes.begin(), reportBytes.end()));
    EXPECT_EQ(report["done"], "1");
    // The screen-compatible bitmap holds whole 32-bit words under Xvfb's
    // 24-bit screen, so its frames can be compared word for word too.
    ASSERT_EQ(report["ddb-bits"], "32");

    std::vector<qv::test::RefScene> scenes;
    std::vector<qv::test::RenderedScene> rendered;
    ASSERT_TRUE(qv::test::ReadScenes(Path("interactive-scenes.bin"), scenes));
    ASSERT_TRUE(qv::test::ReadRendered(Path("interactive-rendered.bin"), rendered));
    ASSERT_EQ(scenes.size(), 14u);
    ASSERT_EQ(rendered.size(), scenes.size());
    std::set<int16_t> blockSizes;
    std::set<bool> keyed;
    std::set<std::string> targets;
    for (size_t n = 0; n < scenes.size(); ++n) {
        SCOPED_TRACE("frame " + std::to_string(n) + " on " + report["frame" + std::to_string(n)]);
        qv::test::RefScene scene = scenes[n];
        blockSizes.insert(scene.blockSize);
        keyed.insert((scene.flags & MORPH_KEY_COLOR) != 0);
        targets.insert(report["frame" + std::to_string(n)]);
        std::vector<uint32_t> expected;
        ASSERT_EQ(rendered[n].result, qv::test::RenderThroughLibrary(scene, expected));
        EXPECT_EQ(rendered[n].result, 0);
        EXPECT_EQ(rendered[n].words, expected);
        ASSERT_EQ(rendered[n].triangles.size(), scene.triangles.size());
        for (size_t t = 0; t < scene.triangles.size(); ++t)
            EXPECT_EQ(std::memcmp(rendered[n].triangles[t].v, scene.triangles[t].v, 6), 0) << "triangle " << t;
    }
    // The frames it kept in a GIF: FreeImage.dll was found beside the .exe.
    const char* freeImageDir = std::getenv("QUORVANE_FREEIMAGE_DIR");
    if (freeImageDir == nullptr || *freeImageDir == 0) {
        EXPECT_EQ(report["gif-start"], "3");
    } else {
        ASSERT_EQ(report["gif-start"], "0");
        const std::string portablePath = Path("portable-interactive.gif");
        GifWriter* writer = nullptr;
        ASSERT_EQ(RenderAnimatedGIFStart(portablePath.c_str(), 56, 42, 32, 1000, 0, &writer), 0);
        qv::test::HostPicture picture(56, 42, 32);
        for (size_t n = 0; n < rendered.size(); ++n) {
            EXPECT_EQ(report["gif" + std::to_string(n)], "0") << n;
            picture.SetWords(rendered[n].words);
            RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer);
        }
        RenderAnimatedGIFEnd(writer);
        const std::vector<uint8_t> windows = qv::test::ReadFileBytes(Path("interactive.gif"));
        ASSERT_FALSE(windows.empty());
        EXPECT_EQ(windows, qv::test::ReadFileBytes(portablePath));
    }
    // The settings did change between frames, and both kinds of bitmap served.
    EXPECT_TRUE(blockSizes.count(8) == 1 && blockSizes.count(1) == 1 && blockSizes.count(0) == 1);
    EXPECT_EQ(keyed.size(), 2u);
    EXPECT_EQ(targets, (std::set<std::string>{"ddb", "dib32"}));
}

}  // namespace
