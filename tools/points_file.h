// Control-point files. The text form has one point a line,
//     srcX srcY dstX dstY [weight]
// in picture pixels (x to the right, y down from the top-left pixel), with
// "#" starting a comment; numbers may be separated by spaces, tabs or commas.
// The JSON form is an array of points, each [srcX, srcY, dstX, dstY(, w)] or
// {"src": [x, y], "dst": [x, y], "weight": w}, or an object holding such an
// array under "points". Every error names the file and the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvcli {

struct ControlPoint {
    double srcX = 0, srcY = 0, dstX = 0, dstY = 0;
    double weight = 1.0;  // how fast this point's colours turn: 1 evenly
    bool hasWeight = false;
    int line = 0;         // where the point was written, for messages
};

// `fileName` only labels messages.
std::vector<ControlPoint> ParsePointsText(std::string_view text, const std::string& fileName);
std::vector<ControlPoint> ParsePointsJson(std::string_view text, const std::string& fileName);

// Reads the file and picks the form by its first character ('[' or '{': JSON).
std::vector<ControlPoint> ReadPointsFile(const std::string& path);

// Checks a weight read for `fileName` at `line`: finite and above 0.
void CheckPointWeight(double weight, const std::string& fileName, int line);

}  // namespace qvcli
