#include "morph_render.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli_error.h"
#include "frame_pipeline.h"
#include "frame_sinks.h"
#include "interrupt.h"
#include "progress_bar.h"
#include "stale_partial_files.h"

namespace qvcli {

std::vector<OptionSpec> MorphRunOptionSpecs()
{
    return {{"out", true},        {"frames", true},     {"fps", true},      {"size", true},
            {"bilinear", false},  {"block", true},      {"background", true}, {"key-color", false},
            {"key-fade", false},  {"weights", true},    {"loop", true},     {"range", true},
            {"codec", true},      {"quality", true},    {"keyframes", true}, {"threads", true},
            {"quiet", false},     {"fit", true},        {"animated", false},  {"gif-writer", true}};
}

std::string MorphRunOptionsHelp(const MorphRunDefaults& defaults)
{
    std::string text = R"(Output:
  --out FILE          .gif animation, .avi video, .mp4 (H.264), .webm (VP9),
                      .webp or .apng animation, or numbered stills
                      .png/.jpg/.tif with a frame number field: frame_%04d.png
  --animated          with --out NAME.png: one animated PNG instead of stills
  --frames N          frames in the whole morph, source to destination (default @FRAMES@)
  --fps F             frames per second (default @FPS@; GIF: at most 100)
  --range A:B         write only frames A up to, not including, B (A: or :B
                      leave an end open); split long jobs across processes
  --size WxH          output size (default: the source picture's); both
                      pictures and their points are scaled to it
  --fit MODE          a picture of another shape than --size: stretch (the
                      default), letterbox (whole, with bands of the
                      background colour) or crop (covers it, edges cut off)
Rendering:
  --bilinear          bilinear sampling (@BILINEAR@)
  --block N           draw N x N blocks, for quick previews (default 1)
  --background RRGGBB colour behind the pictures and of their transparent parts
  --key-color         treat the background colour as transparent in the pictures
  --key-fade          with --key-color, fade the other picture where one is keyed
  --weights MODE      smooth or flat: colour timing from per-point weights (the
                      fifth column of the points file); default: even dissolve
  --threads N         render on N threads; 0, the default: one per core
Animated GIF, WebP and PNG:
  --loop N            play once, then repeat N times; 0 repeats for ever
                      (default 0; stored as the format's own count)
  --gif-writer W      compact (default): compressed, unchanged areas left out;
                      library: the library's writer, one literal frame each
MP4, WebM, WebP:
  --quality Q         0 to 100 (default: H.264 CRF 23, VP9 CRF 31, WebP lossless;
                      with Q, WebP is lossy)
  --keyframes K       MP4, WebM: a key frame every K frames
AVI:
  --codec NAME        compressor: mjpg (default), dib (uncompressed), ffv1,
                      h264, ... (quorvane codecs lists them), or ask
  --quality Q         0 to 100 (AVI and JPEG; default: the compressor's own)
  --keyframes K       a key frame every K frames (default: the compressor decides)
Other:
  --quiet             no progress bar and no summary line
)";
    const auto put = [&](const std::string& field, const std::string& value) {
        text.replace(text.find(field), field.size(), value);
    };
    put("@FRAMES@", std::to_string(defaults.frames));
    put("@FPS@", defaults.fps);
    put("@BILINEAR@", defaults.bilinear ? "always on here" : "default: nearest pixel");
    return text;
}

namespace {

constexpr int kMaxSide = 16384;

int Integer(const ParsedArgs& args, std::string_view name, int64_t min, int64_t max, int fallback)
{
    const auto v = args.value(name);
    return v ? static_cast<int>(ParseInteger(*v, "--" + std::string(name), min, max)) : fallback;
}

}  // namespace

MorphRunOptions ReadMorphRunOptions(const ParsedArgs& args, const std::string& outPath)
{
    MorphRunOptions o;
    o.output = ClassifyOutput(outPath);
    o.frames = Integer(args, "frames", 1, 32767, o.frames);
    const bool gif = o.output.kind == OutputKind::Gif, avi = o.output.kind == OutputKind::Avi;
    if (const auto v = args.value("fps")) o.fps = ParseNumber(*v, "--fps", 0.01, gif ? 100.0 : 1000.0);
    if (const auto v = args.value("size")) o.size = ParseSize(*v, "--size", kMaxSide);
    if (const auto v = args.value("fit")) {
        if (!o.size) throw UsageError("--fit works together with --size");
        o.fit = ParseFitMode(*v);
        o.fitGiven = true;
    }
    o.bilinear = args.has("bilinear");
    o.block = Integer(args, "block", 1, 256, 1);
    if (const auto v = args.value("background")) o.backgroundRgb = ParseColor(*v, "--background");
    o.keyColor = args.has("key-color");
    o.keyFade = args.has("key-fade");
    if (o.keyFade && !o.keyColor) throw UsageError("--key-fade works together with --key-color");
    if (const auto v = args.value("weights")) {
        if (*v == "smooth") o.weights = WeightMode::Smooth;
        else if (*v == "flat") o.weights = WeightMode::Flat;
        else if (*v == "even") o.weights = WeightMode::Even;
        else throw UsageError("--weights: '" + *v + "' is not smooth, flat or even");
    }
    o.threads = Integer(args, "threads", 0, 256, 0);
    o.quiet = args.has("quiet");

    if (args.has("animated")) {
        if (o.output.stillFormat != QV_FORMAT_PNG) throw UsageError("--animated applies to .png output only");
        o.output.kind = OutputKind::Video;
        o.output.video = VideoFormat::Apng;
    }
    const VideoFormat video = o.output.video;
    const bool encoded = video == VideoFormat::Mp4 || video == VideoFormat::WebM;
    if (args.has("loop") && !gif && video != VideoFormat::WebP && video != VideoFormat::Apng)
        throw UsageError("--loop applies to .gif, .webp and animated .png output only");
    o.loop = Integer(args, "loop", 0, 65535, 0);
    if (args.has("codec") && !avi) throw UsageError("--codec applies to .avi output only");
    if (args.has("keyframes") && !avi && !encoded) throw UsageError("--keyframes applies to .avi, .mp4 and .webm output only");
    if (args.has("quality") && !avi && !encoded && video != VideoFormat::WebP && o.output.stillFormat != QV_FORMAT_JPEG)
        throw UsageError("--quality applies to .avi, .mp4, .webm, .webp and .jpg output only");
    if (const auto v = args.value("gif-writer")) {
        if (!gif) throw UsageError("--gif-writer applies to .gif output only");
        if (*v == "library") o.libraryGifWriter = true;
        else if (*v != "compact") throw UsageError("--gif-writer: '" + *v + "' is not compact or library");
    }
    o.codec = args.value("codec");
    if (const auto v = args.value("quality"))
        o.quality = static_cast<int>(ParseInteger(*v, "--quality", avi || encoded || video == VideoFormat::WebP ? 0 : 1, 100));
    o.keyFrames = Integer(args, "keyframes", 0, 100000, 0);

    if (const auto v = args.value("range")) o.range = ParseFrameRange(*v, "--range");
    const int first = o.range.first.value_or(0), end = o.range.end.value_or(o.frames);
    if (first >= o.frames || end > o.frames)
        throw UsageError("--range " + *args.value("range") + " runs past the last frame (the morph has frames 0 to " +
                         std::to_string(o.frames - 1) + ")");
    if (end <= first) throw UsageError("--range " + *args.value("range") + " holds no frames");
    if (o.output.kind == OutputKind::Still && end - first > 1 && !HasFrameNumberField(outPath))
        throw UsageError("'" + outPath + "' has no frame number field for " + std::to_string(end - first) +
                         " frames; name the stills like frame_%04d" +
                         std::filesystem::path(outPath).extension().string());
    if (o.output.kind == OutputKind::Still) FrameFileName(outPath, 0);  // rejects stray '%' fields
    return o;
}

uint32_t BackgroundWord(const MorphRunOptions& o)
{
    if (o.keyColor) return o.backgroundRgb;
    const uint32_t r = (o.backgroundRgb >> 16) & 0xFF, g = (o.backgroundRgb >> 8) & 0xFF, b = o.backgroundRgb & 0xFF;
    return r | g << 8 | b << 16;
}

uint16_t RenderFlags(const MorphRunOptions& o)
{
    unsigned flags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    if (o.bilinear) flags |= MORPH_BILINEAR;
    if (o.keyColor) flags |= MORPH_KEY_COLOR;
    if (o.keyFade) flags |= MORPH_KEY_FADE;
    if (o.weights == WeightMode::Smooth) flags |= MORPH_WEIGHT_SMOOTH;
    if (o.weights == WeightMode::Flat) flags |= MORPH_WEIGHT_FLAT;
    return static_cast<uint16_t>(flags);
}

std::optional<uint16_t> EndRenderFlags(const MorphRunOptions& options)
{
    if (!options.bilinear) return std::nullopt;
    return static_cast<uint16_t>(RenderFlags(options) & ~MORPH_BILINEAR);
}

SinkOptions SinkOptionsFor(const MorphRunOptions& options, Size2 size)
{
    const int first = options.range.first.value_or(0), end = options.range.end.value_or(options.frames);
    SinkOptions sink;
    sink.target = options.output;
    sink.size = size;
    sink.frameRate = static_cast<int>(std::lround(options.fps * 100.0));
    sink.loopCount = options.loop;
    if (options.output.kind == OutputKind::Avi) {
        sink.compressor = ResolveCodec(options.codec.value_or("mjpg"));
        sink.compressor.quality = options.quality;
        sink.compressor.keyFrameEvery = options.keyFrames;
    }
    sink.quality = options.quality;
    sink.keyFrameEvery = options.keyFrames;
    sink.threads = options.threads;
    sink.libraryGifWriter = options.libraryGifWriter;
    sink.frameTotal = end - first;
    sink.firstFrame = first;
    return sink;
}

namespace {

void Render(FrameJob job, const MorphMesh& mesh, const MorphRunOptions& options)
{
    job.mesh = &mesh;
    job.weights = options.weights;
    job.frameCount = options.frames;
    job.first = options.range.first.value_or(0);
    job.end = options.range.end.value_or(options.frames);
    job.backgroundWord = BackgroundWord(options);
    job.renderFlags = RenderFlags(options);
    job.endRenderFlags = EndRenderFlags(options);
    job.blockSize = static_cast<int16_t>(options.block);
    job.threads = options.threads;

    if (options.weights == WeightMode::Flat) {
        if (const int t = FindCornerOnlyTriangle(mesh); t >= 0)
            throw CliError("--weights flat gives a triangle without control points no weight, and the mesh has one "
                           "between three picture corners; add a point inside it or use --weights smooth");
    }

    const SinkOptions sink = SinkOptionsFor(options, mesh.size);

    const bool numbered = options.output.kind == OutputKind::Still;
    CleanUpStalePartialFiles(options.output.path, numbered);
    OutputFolder folder(numbered ? FrameFileName(options.output.path, job.first) : options.output.path);
    SetInterruptedOutput(options.output.path);
    std::unique_ptr<FrameSink> output = OpenFrameSink(sink);
    job.prepare = output->Preparation();
    job.checkStop = [&] {
        if (Interrupted()) throw CliError(InterruptedMessage(options.output.path), kExitInterrupted);
    };
    ProgressBar progress(job.end - job.first, "rendering", !options.quiet && StderrIsTerminal());
    int written = 0;
    try {
        RenderFramesInOrder(job, [&](int frame, const HostPicture& picture) {
            output->Write(frame, picture);
            ++written;
            progress.Advance();
        });
        output->Finish();
    } catch (const CliError& e) {
        progress.Clear();
        if (options.output.kind == OutputKind::Still && written > 0) {
            folder.Keep();
            throw CliError(std::string(e.what()) + " (" + std::to_string(written) + " of " +
                               std::to_string(job.end - job.first) + " stills were written: " + output->Written() + ")",
                           e.status());
        }
        throw;
    }
    folder.Keep();
    progress.Clear();
    if (!options.quiet) {
        const int count = job.end - job.first;
        std::printf("wrote %d frame%s (%dx%d) to %s\n", count, count == 1 ? "" : "s", mesh.size.width,
                    mesh.size.height, output->Written().c_str());
    }
}

}  // namespace

void RenderMorph(const HostPicture& source, const HostPicture& dest, const MorphMesh& mesh,
                 const MorphRunOptions& options)
{
    FrameJob job;
    job.source = &source;
    job.dest = &dest;
    Render(std::move(job), mesh, options);
}

void RenderMorph(const std::function<FramePictures(int frame)>& picturesFor, const MorphMesh& mesh,
                 const MorphRunOptions& options)
{
    FrameJob job;
    job.picturesFor = picturesFor;
    Render(std::move(job), mesh, options);
}

}  // namespace qvcli
