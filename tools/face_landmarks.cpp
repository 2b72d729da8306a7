#include "face_landmarks.h"

#include "cli_error.h"
#include "face_detector.h"
#include "face_point_rules.h"

namespace qvcli {

namespace {

std::string Quoted(const std::string& name) { return name.starts_with("the ") ? name : "'" + name + "'"; }

std::string Plural(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

std::string Note(const FacePointsResult& r, const FacePlacement& placement)
{
    std::string note = Plural(static_cast<int>(r.points.size()), "face point", "face points");
    if (r.facesInFrom > 1) note += "; " + Quoted(placement.fromName) + " has " + std::to_string(r.facesInFrom) + " faces";
    if (r.facesInTo > 1) note += "; " + Quoted(placement.toName) + " has " + std::to_string(r.facesInTo) + " faces";
    if (r.facesInFrom > 1 || r.facesInTo > 1) note += ", the largest is used";
    if (r.nudged > 0)
        note += "; " + Plural(r.nudged, "point", "points") + " moved off a pixel another point holds";
    if (r.dropped > 0)
        note += "; " + Plural(r.dropped, "point", "points") +
                " left out (outside a picture, on a point already placed, or no free pixel near)";
    return note;
}

}  // namespace

bool FaceLandmarksAvailable() { return FaceFinderUnavailableReason().empty(); }

std::string FaceLandmarksUnavailableReason() { return FaceFinderUnavailableReason(); }

FacePointsResult DetectFacePoints(const HostPicture& from, const HostPicture& to, const FacePlacement& placement)
{
    const FaceMarks a = FindLargestFace(from);
    const FaceMarks b = FindLargestFace(to);
    const std::string fromName = Quoted(placement.fromName), toName = Quoted(placement.toName);
    if (a.faceCount == 0 && b.faceCount == 0)
        throw CliError("no face found in " + fromName + " nor in " + toName);
    if (a.faceCount == 0 || b.faceCount == 0)
        throw CliError("no face found in " + (a.faceCount == 0 ? fromName : toName) + " (there is one in " +
                       (a.faceCount == 0 ? toName : fromName) + "); face points need a face in both pictures");

    std::vector<LandmarkPair> pairs;
    for (std::size_t i = 0; i < a.marks.size() && i < b.marks.size(); ++i)
        pairs.push_back({a.marks[i].first, a.marks[i].second, b.marks[i].first, b.marks[i].second});
    const Size2 fromSize{from.width(), from.height()}, toSize{to.width(), to.height()};
    const Size2 output = placement.outputSize.width > 0 ? placement.outputSize : fromSize;
    PlacedLandmarks placed = PlaceLandmarks(pairs, fromSize, toSize, output, placement.existing);

    FacePointsResult result;
    result.points = std::move(placed.points);
    result.facesInFrom = a.faceCount;
    result.facesInTo = b.faceCount;
    result.dropped = placed.dropped;
    result.nudged = placed.nudged;
    result.note = Note(result, placement);
    return result;
}

}  // namespace qvcli
