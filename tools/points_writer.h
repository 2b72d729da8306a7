// Writes control points in the forms the points reader takes back: JSON
// when the name ends in ".json", else the text form, one point a line.
#pragma once

#include <string>
#include <vector>

#include "points_file.h"

namespace qvcli {

// [[srcX, srcY, dstX, dstY(, weight)], ...], one point a line.
std::string FormatPointsJson(const std::vector<ControlPoint>& points);
// "srcX srcY dstX dstY [weight]" lines after `comment` (each of its lines
// written after "# ").
std::string FormatPointsText(const std::vector<ControlPoint>& points, const std::string& comment);

// Writes the file whole under a temporary name, then renames it into place.
// Throws CliError naming the file when it cannot be written.
void WritePointsFile(const std::string& path, const std::vector<ControlPoint>& points, const std::string& comment);

}  // namespace qvcli
