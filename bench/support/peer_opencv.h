// The triangle-warp morph as it is commonly written with OpenCV: per
// triangle, an affine warp of the bounding rectangle from each picture, a
// triangle mask and a weighted blend into the output. A speed reference only.
#pragma once

#include <opencv2/core.hpp>

#include "support/morph_scene.h"

namespace qvbench {

// Renders the scene at weight t into `out` (CV_8UC4, same size as the pictures).
void PeerMorph(const cv::Mat& src, const cv::Mat& dst, const Scene& scene, float t, bool bilinear, cv::Mat& out);

}  // namespace qvbench
