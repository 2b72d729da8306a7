// The face finder behind the landmarks: dlib's frontal face detector and its
// 68-point shape model, kept to one source file so that only it compiles
// dlib's headers.
#pragma once

#include <string>
#include <vector>

#include "host_picture.h"

namespace qvcli {

struct FaceMarks {
    int faceCount = 0;  // faces found in the picture
    // The 68 landmarks of the largest face, in picture pixels (may lie
    // outside the picture for a face cut by its edge); empty when no face.
    std::vector<std::pair<double, double>> marks;
    int left = 0, top = 0, right = 0, bottom = 0;  // its box, when found
};

// Empty when faces can be found; otherwise why not, for the user.
std::string FaceFinderUnavailableReason();

// Finds the faces in a 32-bit picture. Loads the shape model on first use.
// Throws CliError when the feature is unavailable or the model unreadable.
FaceMarks FindLargestFace(const HostPicture& picture);

}  // namespace qvcli
