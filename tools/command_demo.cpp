// quorvane demo [--out FILE] [--inputs DIR] [render options]
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli_error.h"
#include "commands.h"
#include "demo_scene.h"
#include "frame_sinks.h"
#include "morph_render.h"
#include "points_file.h"

namespace qvcli {

namespace {

constexpr int kDemoFrames = 40;
constexpr const char* kDemoFps = "20";

const char* const kDemoUsage = R"(usage: quorvane demo [--out FILE] [--inputs DIR] [options]

Renders the bundled example, a sun setting into the moon over a changing
hill, to quorvane-demo.gif in the current directory and says where it went.
Both pictures and the points are made by the program itself.

  --inputs DIR        instead write the example's pictures and points file to
                      DIR (demo-from.png, demo-to.png, demo-points.txt), to try
                      quorvane morph and quorvane mesh on them

The demo takes the render options of quorvane morph, with its own
defaults as listed below.

)";

void WriteInputs(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw CliError("cannot create directory '" + dir + "': " + ec.message());
    const std::filesystem::path base(dir);
    SavePicture(DrawDemoSource(), (base / "demo-from.png").string());
    SavePicture(DrawDemoDest(), (base / "demo-to.png").string());
    const std::string pointsPath = (base / "demo-points.txt").string();
    std::ofstream points(pointsPath, std::ios::binary);
    points << DemoPointsText();
    points.close();
    if (!points) throw CliError("cannot write '" + pointsPath + "'");
    std::printf("wrote %s, %s and %s\ntry: quorvane morph %s %s --points %s --out morph.gif\n",
                (base / "demo-from.png").c_str(), (base / "demo-to.png").c_str(), pointsPath.c_str(),
                (base / "demo-from.png").c_str(), (base / "demo-to.png").c_str(), pointsPath.c_str());
}

}  // namespace

int RunDemoCommand(const Args& argv)
{
    std::vector<OptionSpec> specs = MorphRunOptionSpecs();
    specs.push_back({"inputs", true});
    ParsedArgs args = ParseArgs(argv, "demo", specs);
    if (args.help) {
        std::printf("%s%s", kDemoUsage, MorphRunOptionsHelp({kDemoFrames, kDemoFps, true}).c_str());
        return kExitOk;
    }
    if (!args.positional.empty()) throw UsageError("demo takes no pictures (see quorvane demo --help)");
    if (const auto dir = args.value("inputs")) {
        WriteInputs(*dir);
        return kExitOk;
    }
    if (!args.has("frames")) args.values["frames"] = std::to_string(kDemoFrames);
    if (!args.has("fps")) args.values["fps"] = kDemoFps;
    if (args.has("size")) throw UsageError("demo renders at its own size; use --inputs and quorvane morph --size");
    args.flags.insert("bilinear");
    // Named in full so that the summary says where the file is.
    const std::string out = args.value("out").value_or((std::filesystem::current_path() / "quorvane-demo.gif").string());
    const MorphRunOptions options = ReadMorphRunOptions(args, out);

    const std::vector<ControlPoint> points = ParsePointsText(DemoPointsText(), "demo-points.txt");
    const Size2 size{kDemoWidth, kDemoHeight};
    const MorphMesh mesh = BuildMorphMesh(MeshSourceFor(points, size, size, size, "demo-points.txt"));
    RenderMorph(DrawDemoSource(), DrawDemoDest(), mesh, options);
    return kExitOk;
}

}  // namespace qvcli
