// Automatic face landmarks: 68 corresponding point pairs (jaw, brows, nose,
// eyes, mouth) for the largest face in each of two pictures, ready to be
// used as control points. Built with dlib's frontal face detector and its
// 68-point shape model when dlib was found; without it every call says that
// landmarks are not available in this build.
#pragma once

#include <string>
#include <vector>

#include "cli_options.h"
#include "host_picture.h"
#include "points_file.h"

namespace qvcli {

// False in builds without dlib, or when the shape model file is missing.
bool FaceLandmarksAvailable();
// Why not, in a sentence for the user; empty when they are available.
std::string FaceLandmarksUnavailableReason();

// Where the points will be used, so that they obey the points reader's rules
// there. Everything may be left at its default.
struct FacePlacement {
    // The size both pictures are scaled to for the morph (as --size); zero
    // means FROM's own size. Two source points meeting on one output pixel
    // clash, as they would in the mesh.
    Size2 outputSize;
    // Points already placed (a points file, the editor's own points), in the
    // same picture coordinates: a landmark on one of their pixels is left out.
    const std::vector<ControlPoint>* existing = nullptr;
    // Names for messages ("no face found in 'b.jpg'").
    std::string fromName = "the first picture", toName = "the second picture";
};

struct FacePointsResult {
    // In pixels of `from` (src) and `to` (dst), whole numbers, every source
    // point inside its picture, off the corners and on a pixel of its own at
    // the output size. `line` is 0 for all of them.
    std::vector<ControlPoint> points;
    int facesInFrom = 0, facesInTo = 0;  // faces found; the largest is used
    int dropped = 0;  // pairs left out: outside a picture, on a point already placed, or no free pixel near
    int nudged = 0;   // pairs moved by a pixel or two to a free pixel
    // One line for the user, e.g. "68 face points; 'a.jpg' has 2 faces, the
    // largest is used; 1 point moved off a pixel another point holds".
    std::string note;
};

// 68 corresponding point pairs for the largest face in each picture, after
// the points reader's rules (whole pixels, inside, not on a corner, no two
// on one pixel: dropped or nudged, counted in `note`). Throws CliError with a
// clear message when a picture has no face (naming which), or when the
// feature is not available in this build. Safe to call from several threads;
// the model is loaded once per process, on first use.
FacePointsResult DetectFacePoints(const HostPicture& from, const HostPicture& to,
                                  const FacePlacement& placement = {});

}  // namespace qvcli
