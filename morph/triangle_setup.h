// Everything about a triangle that stays constant over its pixels.
#pragma once

#include <cstdint>

#include "morph/frame.h"

namespace qv::morph {

// An edge line: its x at row y is y * slope + intercept.
struct Edge {
    float slope = 0.0f;
    float intercept = 0.0f;
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

struct TriangleSetup {
    int16_t top = 0, middle = 0, bottom = 0;
    int32_t xTop = 0, yTop = 0, xMid = 0, yMid = 0, xBottom = 0, yBottom = 0;
    Point srcCorners[3];  // top, middle, bottom in the source picture
    Point dstCorners[3];  // the same in the destination picture
    Edge longEdge, upperEdge, lowerEdge;
    bool middleIsLeft = false;
    float doubleArea = 0.0f;
};

enum class Picture { Source = 1, Destination = 2 };

// Position of a vertex in the source or destination picture: corners from the
// picture's size, control points from the table plus 2.
Point PictureCoordinate(const FrameRecord& frame, int16_t vertex, Picture picture);

// Orders the three vertices of `triangle` top to bottom by their frameY
// entries and writes the order back. Returns top, middle, bottom.
void OrderVertices(MorphTriangle& triangle, const int16_t* frameY, int16_t out[3]);

// Sets up triangle `index` (ordering and write-back included). Returns true
// when the triangle passes the area test and is to be scanned; under
// MORPH_WEIGHT_FLAT it then also sets frame.morphWeight.
bool SetUpTriangle(FrameRecord& frame, int32_t index, uint16_t flags, TriangleSetup& setup);

// The weight of a triangle under MORPH_WEIGHT_FLAT; 0 for three corners.
float FlatWeight(const FrameRecord& frame, const TriangleSetup& setup);

}  // namespace qv::morph
