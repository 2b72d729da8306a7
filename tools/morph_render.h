// The render options shared by "morph" and "demo", and the run that turns
// two pictures and a mesh into an output file or still sequence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "compressor_choice.h"
#include "frame_pipeline.h"
#include "frame_sinks.h"
#include "host_picture.h"
#include "morph_mesh.h"
#include "output_files.h"
#include "picture_fit.h"
#include "vertex_interpolation.h"

namespace qvcli {

struct MorphRunOptions {
    int frames = 30;
    double fps = 15.0;
    std::optional<Size2> size;
    FitMode fit = FitMode::Stretch;  // pictures of another shape than --size
    bool fitGiven = false;
    bool bilinear = false;
    int block = 1;
    uint32_t backgroundRgb = 0x000000;
    bool keyColor = false, keyFade = false;
    WeightMode weights = WeightMode::Even;
    int loop = 0;
    FrameRange range;
    std::optional<std::string> codec;
    std::optional<int> quality;
    int keyFrames = 0;
    int threads = 0;
    bool quiet = false;
    bool libraryGifWriter = false;
    OutputTarget output;
};

// The options of the render that "morph" and "demo" share.
std::vector<OptionSpec> MorphRunOptionSpecs();
// The help shows the defaults of the command it is part of.
struct MorphRunDefaults {
    int frames = 30;
    std::string fps = "15";
    bool bilinear = false;
};
std::string MorphRunOptionsHelp(const MorphRunDefaults& defaults = {});

// Reads them from parsed arguments; `outPath` is the output name.
// Throws UsageError for bad values and for options the output cannot use.
MorphRunOptions ReadMorphRunOptions(const ParsedArgs& args, const std::string& outPath);

// The renderer's background word: the key colour compares against picture
// pixels (0x00RRGGBB) while the fill takes the colour in 0x00BBGGRR order,
// so the word is chosen for whichever the options use.
uint32_t BackgroundWord(const MorphRunOptions& options);
uint16_t RenderFlags(const MorphRunOptions& options);
// The flags for the morph's first and last frames, where every point stands
// where it is in the picture shown: nearest-pixel sampling gives that
// picture exactly, while the renderer's bilinear weights lose a level in
// most pixels. Every host of the command's code (the command, the editor,
// the Python module) draws its ends with these.
std::optional<uint16_t> EndRenderFlags(const MorphRunOptions& options);

// The output writer's settings for frames of `size` (the range included).
SinkOptions SinkOptionsFor(const MorphRunOptions& options, Size2 size);

// Renders frames of the morph into the output and prints what was written.
// `source` and `dest` are at mesh.size. Throws CliError on any failure.
void RenderMorph(const HostPicture& source, const HostPicture& dest, const MorphMesh& mesh,
                 const MorphRunOptions& options);
// The same with pictures that change from frame to frame (clips).
void RenderMorph(const std::function<FramePictures(int frame)>& picturesFor, const MorphMesh& mesh,
                 const MorphRunOptions& options);

}  // namespace qvcli
