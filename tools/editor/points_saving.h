// Writing the editor's points back to the file they came from, in the form
// it had: a text file keeps its comments, blank lines and the comment after
// each surviving point; a JSON file stays JSON (an object keeps its other
// members). The file is replaced atomically.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "points_file.h"

namespace qvcli {

enum class PointsForm { Text, JsonArray, JsonObject };

// The form of a points file's text, by the rule ReadPointsFile uses.
PointsForm PointsFormOf(std::string_view text);

// The new file text. `original` is the file as loaded ("" for a new file);
// a point whose `line` names one of its point lines takes that line's place,
// other points follow at the end.
std::string FormatPoints(const std::vector<ControlPoint>& points, PointsForm form, std::string_view original);

// Writes `text` to `path` through a temporary file in the same directory,
// flushed to disk and renamed over the old file, so that `path` always
// holds either the old or the new content. Throws CliError.
void ReplaceFileAtomically(const std::string& path, std::string_view text);

// One number as the files write it: whole numbers without a point.
std::string FormatCoordinate(double value);

}  // namespace qvcli
