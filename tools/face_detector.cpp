#include "face_detector.h"

#include "cli_error.h"

#ifdef QUORVANE_HAVE_DLIB

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/image_transforms.h>
#include <dlib/serialize.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <mutex>

namespace qvcli {

namespace {

const char* const kModelPath = QUORVANE_FACE_MODEL_PATH;

// The detector covers faces from about 80 pixels across; pictures up to this
// side are searched once more at twice the size when nothing is found.
constexpr long kUpsampleBelow = 1000;
// Larger pictures are searched at this longest side; the landmarks are still
// placed on the full picture.
constexpr long kSearchSide = 1600;
// Detections scoring below this count as faces only when nothing scores more.
constexpr double kSureConfidence = 0.5;

class FaceModels {
public:
    FaceModels()
    {
        try {
            detector_ = dlib::get_frontal_face_detector();
            dlib::deserialize(kModelPath) >> shapes_;
        } catch (const std::exception& e) {
            error_ = std::string("cannot read the face landmark model ") + kModelPath + ": " + e.what();
        }
    }
    const std::string& error() const { return error_; }

    // The detector keeps scratch state, so searches take turns.
    std::vector<dlib::rect_detection> Search(const dlib::array2d<dlib::rgb_pixel>& image)
    {
        std::lock_guard lock(searching_);
        std::vector<dlib::rect_detection> found;
        detector_(image, found, 0.0);
        return found;
    }
    const dlib::shape_predictor& shapes() const { return shapes_; }

private:
    dlib::frontal_face_detector detector_;
    dlib::shape_predictor shapes_;
    std::mutex searching_;
    std::string error_;
};

FaceModels& Models()
{
    static FaceModels models;  // loaded once, on first use, by whichever thread comes first
    if (!models.error().empty()) throw CliError(models.error());
    return models;
}

dlib::array2d<dlib::rgb_pixel> ToDlib(const HostPicture& picture)
{
    dlib::array2d<dlib::rgb_pixel> image(picture.height(), picture.width());
    for (int y = 0; y < picture.height(); ++y) {
        const uint32_t* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x)
            image[y][x] = dlib::rgb_pixel(static_cast<unsigned char>(row[x] >> 16),
                                          static_cast<unsigned char>(row[x] >> 8),
                                          static_cast<unsigned char>(row[x]));
    }
    return image;
}

dlib::rectangle Scaled(const dlib::rectangle& r, double factor)
{
    const auto at = [factor](long v) { return std::lround(static_cast<double>(v) * factor); };
    return dlib::rectangle(at(r.left()), at(r.top()), at(r.right()), at(r.bottom()));
}

// The faces in `image`, with boxes in its own pixels.
std::vector<dlib::rect_detection> SearchFaces(FaceModels& models, const dlib::array2d<dlib::rgb_pixel>& image)
{
    const long side = std::max(image.nr(), image.nc());
    if (side > kSearchSide) {
        const double shrink = static_cast<double>(kSearchSide) / static_cast<double>(side);
        dlib::array2d<dlib::rgb_pixel> small(std::lround(static_cast<double>(image.nr()) * shrink),
                                             std::lround(static_cast<double>(image.nc()) * shrink));
        dlib::resize_image(image, small);
        std::vector<dlib::rect_detection> faces = models.Search(small);
        const double grow = static_cast<double>(image.nc()) / static_cast<double>(small.nc());
        for (auto& f : faces) f.rect = Scaled(f.rect, grow);
        return faces;
    }
    std::vector<dlib::rect_detection> faces = models.Search(image);
    if (faces.empty() && side <= kUpsampleBelow) {
        dlib::array2d<dlib::rgb_pixel> large;
        dlib::pyramid_up(image, large, dlib::pyramid_down<2>());
        faces = models.Search(large);
        for (auto& f : faces) f.rect = Scaled(f.rect, 0.5);
    }
    return faces;
}

// Faces the detector is sure of: real faces in the test portraits score
// above 1.3, while badges and folds of cloth it takes for faces score near
// 0.1. When it is sure of none, its best guess stands alone.
std::vector<dlib::rectangle> SureFaces(const std::vector<dlib::rect_detection>& found)
{
    std::vector<dlib::rectangle> sure;
    for (const auto& f : found)
        if (f.detection_confidence >= kSureConfidence) sure.push_back(f.rect);
    if (sure.empty() && !found.empty())
        sure.push_back(std::max_element(found.begin(), found.end(), [](const auto& a, const auto& b) {
                           return a.detection_confidence < b.detection_confidence;
                       })->rect);
    return sure;
}

}  // namespace

std::string FaceFinderUnavailableReason()
{
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(kModelPath, ignored))
        return std::string("face landmarks are not available: the model ") + kModelPath +
               " is missing (Debian package libdlib-data)";
    return {};
}

FaceMarks FindLargestFace(const HostPicture& picture)
{
    if (const std::string reason = FaceFinderUnavailableReason(); !reason.empty()) throw CliError(reason);
    FaceModels& models = Models();
    const dlib::array2d<dlib::rgb_pixel> image = ToDlib(picture);
    const std::vector<dlib::rectangle> faces = SureFaces(SearchFaces(models, image));
    FaceMarks found;
    found.faceCount = static_cast<int>(faces.size());
    if (faces.empty()) return found;
    const dlib::rectangle largest = *std::max_element(
        faces.begin(), faces.end(), [](const dlib::rectangle& a, const dlib::rectangle& b) { return a.area() < b.area(); });
    const dlib::full_object_detection shape = models.shapes()(image, largest);
    for (unsigned long i = 0; i < shape.num_parts(); ++i)
        found.marks.emplace_back(static_cast<double>(shape.part(i).x()), static_cast<double>(shape.part(i).y()));
    found.left = int(largest.left());
    found.top = int(largest.top());
    found.right = int(largest.right());
    found.bottom = int(largest.bottom());
    return found;
}

}  // namespace qvcli

#else  // built without dlib

namespace qvcli {

std::string FaceFinderUnavailableReason()
{
    return "face landmarks are not available in this build (it was made without dlib, Debian package libdlib-dev)";
}

FaceMarks FindLargestFace(const HostPicture&) { throw CliError(FaceFinderUnavailableReason()); }

}  // namespace qvcli

#endif
