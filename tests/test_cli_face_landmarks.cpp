// Face landmarks on real photographs: the astronaut portrait that ships with
// Debian's python3-skimage, and copies of it mirrored, cropped and placed
// beside a smaller copy of itself. Landmark positions are checked against
// eyes, nose and mouth measured by hand on the portrait; then the points and
// morph commands are run on them.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cli_error.h"
#include "face_landmarks.h"
#include "morph_mesh.h"
#include "picture_loading.h"
#include "points_file.h"
#include "support/cli_run.h"
#include "support/gif_decoded.h"

namespace {

namespace fs = std::filesystem;
using qvcli::ControlPoint;
using qvcli::FacePointsResult;
using qv::test::CliResult;

const std::string kSkimageData = "/usr/lib/python3/dist-packages/skimage/data/";
const std::string kAstronaut = kSkimageData + "astronaut.png";  // 512x512, one face
const std::string kNoFace = kSkimageData + "coffee.png";        // a cup of coffee

// Measured by hand on astronaut.png (picture pixels): pupils, nose tip, the
// middle of the mouth.
struct Spot {
    double x, y;
};
constexpr Spot kLeftEye{204, 101};   // the eye on the picture's left
constexpr Spot kRightEye{246, 103};
constexpr Spot kNoseTip{225, 127};
constexpr Spot kMouth{224, 145};
constexpr double kTolerance = 4.0;  // pixels

using Bitmap = std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)>;

Bitmap Load(const std::string& path)
{
    return Bitmap(FreeImage_ConvertTo24Bits(Bitmap(FreeImage_Load(FIF_PNG, path.c_str()), FreeImage_Unload).get()),
                  FreeImage_Unload);
}

void Save(const Bitmap& b, const fs::path& path) { ASSERT_TRUE(FreeImage_Save(FIF_PNG, b.get(), path.c_str())); }

// The pictures the tests use, made once per test in a scratch directory.
class FaceLandmarks : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!qvcli::FaceLandmarksAvailable()) GTEST_SKIP() << qvcli::FaceLandmarksUnavailableReason();
        ASSERT_TRUE(fs::exists(kAstronaut)) << "python3-skimage is needed";
        fs::copy_file(kAstronaut, dir_ / "astronaut.png");
        fs::copy_file(kNoFace, dir_ / "coffee.png");
        const Bitmap astronaut = Load(kAstronaut);
        ASSERT_TRUE(astronaut);

        Bitmap mirrored(FreeImage_Clone(astronaut.get()), FreeImage_Unload);
        ASSERT_TRUE(FreeImage_FlipHorizontal(mirrored.get()));
        Save(mirrored, dir_ / "mirrored.png");

        // Columns 100..399, rows 0..299: the face moves 100 pixels left.
        Save(Bitmap(FreeImage_Copy(astronaut.get(), 100, 0, 400, 300), FreeImage_Unload), dir_ / "cropped.png");

        // The portrait at full size beside a copy at 0.8 of it.
        Bitmap smaller(FreeImage_Rescale(astronaut.get(), 410, 410, FILTER_BILINEAR), FreeImage_Unload);
        Bitmap pair(FreeImage_Allocate(922, 512, 24), FreeImage_Unload);
        ASSERT_TRUE(FreeImage_Paste(pair.get(), astronaut.get(), 0, 0, 256));
        ASSERT_TRUE(FreeImage_Paste(pair.get(), smaller.get(), 512, 51, 256));
        Save(pair, dir_ / "two-faces.png");
    }

    FacePointsResult Detect(const std::string& from, const std::string& to, qvcli::FacePlacement placement = {})
    {
        const auto a = qvcli::InputPicture::Open((dir_ / from).string(), 0);
        const auto b = qvcli::InputPicture::Open((dir_ / to).string(), 0);
        placement.fromName = from;
        placement.toName = to;
        return qvcli::DetectFacePoints(a.ToHost(a.size()), b.ToHost(b.size()), placement);
    }

    CliResult Run(const std::vector<std::string>& args) { return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path()); }

    qv::test::ScratchDir dir_{"faces"};
};

Spot Mean(const std::vector<ControlPoint>& points, int first, int last, bool dest)
{
    double x = 0, y = 0;
    for (int i = first; i <= last; ++i) {
        const ControlPoint& p = points.at(static_cast<std::size_t>(i));
        x += dest ? p.dstX : p.srcX;
        y += dest ? p.dstY : p.srcY;
    }
    const int n = last - first + 1;
    return {x / n, y / n};
}

// The 68-point layout: 36-41 and 42-47 the eyes (on the picture's left and
// right), 30 the nose tip, 48-59 the outer lips.
void ExpectFeatures(const std::vector<ControlPoint>& points, bool dest, Spot leftEye, Spot rightEye, Spot nose,
                    Spot mouth)
{
    const auto near = [](Spot found, Spot want, const char* what) {
        EXPECT_LE(std::hypot(found.x - want.x, found.y - want.y), kTolerance)
            << what << " found at (" << found.x << ", " << found.y << "), measured (" << want.x << ", " << want.y
            << ")";
    };
    near(Mean(points, 36, 41, dest), leftEye, "left eye");
    near(Mean(points, 42, 47, dest), rightEye, "right eye");
    near(Mean(points, 30, 30, dest), nose, "nose tip");
    near(Mean(points, 48, 59, dest), mouth, "mouth");
}

void ExpectInsideAndApart(const std::vector<ControlPoint>& points, int fromW, int fromH, int toW, int toH)
{
    for (const ControlPoint& p : points) {
        EXPECT_TRUE(p.srcX >= 0 && p.srcX < fromW && p.srcY >= 0 && p.srcY < fromH);
        EXPECT_TRUE(p.dstX >= 0 && p.dstX < toW && p.dstY >= 0 && p.dstY < toH);
        EXPECT_EQ(p.srcX, std::floor(p.srcX));
        EXPECT_EQ(p.dstY, std::floor(p.dstY));
    }
    // The mesh is the judge of corners and shared pixels.
    EXPECT_NO_THROW(
        qvcli::BuildMorphMesh(qvcli::MeshSourceFor(points, {fromW, fromH}, {toW, toH}, {fromW, fromH}, "face points")));
}

TEST_F(FaceLandmarks, FindsEyesNoseAndMouthInThePortraitAndInACroppedCopy)
{
    const FacePointsResult r = Detect("astronaut.png", "cropped.png");
    ASSERT_EQ(r.points.size(), 68u);
    EXPECT_EQ(r.facesInFrom, 1);
    EXPECT_EQ(r.facesInTo, 1);
    EXPECT_EQ(r.dropped, 0);
    EXPECT_EQ(r.nudged, 0);
    EXPECT_EQ(r.note, "68 face points");
    ExpectInsideAndApart(r.points, 512, 512, 300, 300);
    ExpectFeatures(r.points, false, kLeftEye, kRightEye, kNoseTip, kMouth);
    const auto shifted = [](Spot s) { return Spot{s.x - 100, s.y}; };
    ExpectFeatures(r.points, true, shifted(kLeftEye), shifted(kRightEye), shifted(kNoseTip), shifted(kMouth));
}

TEST_F(FaceLandmarks, AMirroredCopyHasItsEyesTheOtherWayRound)
{
    const FacePointsResult r = Detect("astronaut.png", "mirrored.png");
    ASSERT_EQ(r.points.size(), 68u);
    ExpectInsideAndApart(r.points, 512, 512, 512, 512);
    // Mirrored, x becomes 511 - x, and the picture's left eye is the
    // portrait's right eye.
    const auto mirror = [](Spot s) { return Spot{511 - s.x, s.y}; };
    ExpectFeatures(r.points, true, mirror(kRightEye), mirror(kLeftEye), mirror(kNoseTip), mirror(kMouth));
}

TEST_F(FaceLandmarks, OfSeveralFacesTheLargestIsUsedAndTheNoteSaysSo)
{
    const FacePointsResult r = Detect("two-faces.png", "astronaut.png");
    EXPECT_EQ(r.facesInFrom, 2);
    EXPECT_EQ(r.facesInTo, 1);
    ASSERT_EQ(r.points.size(), 68u);
    EXPECT_EQ(r.note, "68 face points; 'two-faces.png' has 2 faces, the largest is used");
    ExpectFeatures(r.points, false, kLeftEye, kRightEye, kNoseTip, kMouth);
}

TEST_F(FaceLandmarks, APictureWithoutAFaceIsAnErrorNamingIt)
{
    const auto message = [&](const std::string& from, const std::string& to) {
        try {
            Detect(from, to);
        } catch (const qvcli::CliError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("astronaut.png", "coffee.png"),
              "no face found in 'coffee.png' (there is one in 'astronaut.png'); face points need a face in both "
              "pictures");
    EXPECT_EQ(message("coffee.png", "mirrored.png"),
              "no face found in 'coffee.png' (there is one in 'mirrored.png'); face points need a face in both "
              "pictures");
    EXPECT_EQ(message("coffee.png", "coffee.png"), "no face found in 'coffee.png' nor in 'coffee.png'");
}

TEST_F(FaceLandmarks, PointsAreKeptApartAtTheOutputSizeAndClearOfPointsAlreadyPlaced)
{
    const FacePointsResult own = Detect("astronaut.png", "mirrored.png");
    ASSERT_EQ(own.points.size(), 68u);
    // At 64x64 the face is 13 pixels across: many landmarks share a pixel.
    EXPECT_THROW(qvcli::BuildMorphMesh(qvcli::MeshSourceFor(own.points, {512, 512}, {512, 512}, {64, 64}, "face points")),
                 qvcli::CliError);

    // Placed for 64x64, and clear of a point on the nose tip, they mesh there.
    const std::vector<ControlPoint> existing{own.points[30]};
    qvcli::FacePlacement placement;
    placement.outputSize = {64, 64};
    placement.existing = &existing;
    const FacePointsResult small = Detect("astronaut.png", "mirrored.png", placement);
    EXPECT_GT(small.nudged + small.dropped, 10);
    EXPECT_EQ(static_cast<int>(small.points.size()) + small.dropped, 68);
    std::vector<ControlPoint> all = existing;
    all.insert(all.end(), small.points.begin(), small.points.end());
    EXPECT_EQ(qvcli::BuildMorphMesh(qvcli::MeshSourceFor(all, {512, 512}, {512, 512}, {64, 64}, "face points")).points.size(),
              all.size());
    EXPECT_GE(small.dropped, 1);  // the nose tip itself
    EXPECT_EQ(small.note, std::to_string(small.points.size()) + " face points; " + std::to_string(small.nudged) + " points moved off a pixel another point holds" +
                          (small.dropped ? "; " + std::to_string(small.dropped) +
                                               " point" + (small.dropped == 1 ? "" : "s") +
                                               " left out (outside a picture, on a point already placed, or no "
                                               "free pixel near)"
                                         : std::string()));
}

TEST_F(FaceLandmarks, PointsCommandWritesAFileTheReaderTakes)
{
    const CliResult r = Run({"points", "astronaut.png", "mirrored.png", "--faces", "--out", "faces.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote faces.json: 68 face points\n");
    EXPECT_EQ(r.err, "");
    const std::vector<ControlPoint> read = qvcli::ReadPointsFile((dir_ / "faces.json").string());
    ASSERT_EQ(read.size(), 68u);
    ExpectFeatures(read, false, kLeftEye, kRightEye, kNoseTip, kMouth);

    const CliResult text = Run({"points", "astronaut.png", "cropped.png", "--faces", "--out", "faces.txt"});
    ASSERT_EQ(text.status, 0) << text.err;
    std::ifstream file(dir_ / "faces.txt");
    std::string first;
    std::getline(file, first);
    EXPECT_EQ(first, "# face points of astronaut.png (FROM) and cropped.png (TO): srcX srcY dstX dstY");
    EXPECT_EQ(qvcli::ReadPointsFile((dir_ / "faces.txt").string()).size(), 68u);

    const CliResult none = Run({"points", "astronaut.png", "coffee.png", "--faces", "--out", "none.json"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "quorvane: no face found in 'coffee.png' (there is one in 'astronaut.png'); face points "
                        "need a face in both pictures\n");
    EXPECT_FALSE(fs::exists(dir_ / "none.json"));

    const CliResult help = Run({"points", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: quorvane points FROM TO --faces --out POINTS", 0), 0u) << help.out;

    const CliResult noFaces = Run({"points", "astronaut.png", "mirrored.png", "--out", "x.json"});
    EXPECT_EQ(noFaces.status, 2);
    EXPECT_EQ(noFaces.err, "quorvane: points needs --faces (see quorvane points --help)\n");
}

TEST_F(FaceLandmarks, MorphWithFacesNeedsNoPointsFile)
{
    const CliResult r = Run({"morph", "astronaut.png", "mirrored.png", "--faces", "--frames", "3", "--out",
                             "faces.gif"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quorvane: 68 face points\n");
    const qv::test::DecodedGif gif = qv::test::DecodeWithGiflib((dir_ / "faces.gif").string());
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.screenWidth, 512);
    EXPECT_EQ(gif.screenHeight, 512);
    EXPECT_EQ(gif.frames.size(), 3u);

    const CliResult neither = Run({"morph", "astronaut.png", "mirrored.png", "--out", "x.gif"});
    EXPECT_EQ(neither.status, 2);
    EXPECT_EQ(neither.err, "quorvane: morph needs --points FILE or --faces (see quorvane morph --help)\n");
}

TEST_F(FaceLandmarks, MorphAddsTheFilePointsToTheFacePoints)
{
    ASSERT_EQ(Run({"points", "astronaut.png", "mirrored.png", "--faces", "--out", "faces.txt"}).status, 0);
    const std::vector<ControlPoint> faces = qvcli::ReadPointsFile((dir_ / "faces.txt").string());
    ASSERT_EQ(faces.size(), 68u);
    // One point of the file's own on the nose tip, one on the picture's
    // middle bottom edge.
    std::ofstream(dir_ / "extra.txt") << faces[30].srcX << " " << faces[30].srcY << " " << faces[30].dstX << " "
                                      << faces[30].dstY << "\n256 511 256 511\n";
    const CliResult r = Run({"morph", "astronaut.png", "mirrored.png", "--faces", "--points", "extra.txt",
                             "--frames", "2", "--out", "both.gif"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quorvane: 67 face points; 1 point left out (outside a picture, on a point already placed, or "
                     "no free pixel near)\n");
    EXPECT_EQ(qv::test::DecodeWithGiflib((dir_ / "both.gif").string()).frames.size(), 2u);

    // The file's own mistakes are reported against the file.
    std::ofstream(dir_ / "wrong.txt") << "600 10 10 10\n";
    const CliResult wrong = Run({"morph", "astronaut.png", "mirrored.png", "--faces", "--points", "wrong.txt",
                                 "--out", "w.gif"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err.rfind("quorvane: wrong.txt:1: source point (600, 10) lies outside", 0), 0u) << wrong.err;
    EXPECT_FALSE(fs::exists(dir_ / "w.gif"));
}

}  // namespace
