// Turns detected landmark pairs into control points the points reader and
// the mesh accept: whole pixels, inside both pictures, no source point on a
// picture corner or on an output pixel another point already holds.
#pragma once

#include <vector>

#include "cli_options.h"
#include "points_file.h"

namespace qvcli {

struct LandmarkPair {
    double fromX = 0, fromY = 0;  // in FROM's pixels
    double toX = 0, toY = 0;      // in TO's pixels
};

struct PlacedLandmarks {
    std::vector<ControlPoint> points;
    int dropped = 0;  // outside a picture, on an existing point, or no free pixel near
    int nudged = 0;   // moved to a free pixel nearby
};

// Rounds each pair to whole pixels; drops a pair with a point outside its
// picture or whose source point lands (at `outputSize`) on an `existing`
// point; where it lands on a corner or on an earlier landmark, moves it to
// the nearest free output pixel within two pixels, else drops the pair.
// Only source points are checked against each other, as the mesh does.
PlacedLandmarks PlaceLandmarks(const std::vector<LandmarkPair>& pairs, Size2 fromSize, Size2 toSize,
                               Size2 outputSize, const std::vector<ControlPoint>* existing);

}  // namespace qvcli
