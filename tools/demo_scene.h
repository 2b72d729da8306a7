// The bundled example: two small pictures drawn in code (a sun over a hill
// by day, a moon over the hill by night) and the points that morph one into
// the other.
#pragma once

#include <string>

#include "host_picture.h"

namespace qvcli {

inline constexpr int kDemoWidth = 240;
inline constexpr int kDemoHeight = 180;

HostPicture DrawDemoSource();
HostPicture DrawDemoDest();
// The control points in the text form of a points file.
std::string DemoPointsText();

}  // namespace qvcli
