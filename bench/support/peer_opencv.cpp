#include "support/peer_opencv.h"

#include <opencv2/imgproc.hpp>

namespace qvbench {
namespace {

struct Tri {
    cv::Point2f p[3];
};

Tri TriangleOf(const Scene& s, const MorphTriangle& t, int which)
{
    Tri out;
    for (int k = 0; k < 3; ++k) {
        const size_t v = static_cast<size_t>(t.v[k] + 3);
        if (which == 0) out.p[k] = {static_cast<float>(s.frameX[v]), static_cast<float>(s.frameY[v])};
        else if (which == 1) out.p[k] = {s.srcPos[v][0], s.srcPos[v][1]};
        else out.p[k] = {s.dstPos[v][0], s.dstPos[v][1]};
    }
    return out;
}

// Warps the bounding rectangle of `from` in `picture` onto the rectangle `r`
// of the output triangle `to`.
void WarpPatch(const cv::Mat& picture, const Tri& from, const Tri& to, const cv::Rect& r, int interpolation,
               cv::Mat& patch)
{
    const cv::Rect pr = cv::boundingRect(std::vector<cv::Point2f>(from.p, from.p + 3)) &
                        cv::Rect(0, 0, picture.cols, picture.rows);
    cv::Point2f a[3], b[3];
    for (int k = 0; k < 3; ++k) {
        a[k] = from.p[k] - cv::Point2f(static_cast<float>(pr.x), static_cast<float>(pr.y));
        b[k] = to.p[k] - cv::Point2f(static_cast<float>(r.x), static_cast<float>(r.y));
    }
    const cv::Mat m = cv::getAffineTransform(a, b);
    cv::warpAffine(picture(pr), patch, m, r.size(), interpolation, cv::BORDER_REFLECT_101);
}

}  // namespace

void PeerMorph(const cv::Mat& src, const cv::Mat& dst, const Scene& s, float t, bool bilinear, cv::Mat& out)
{
    const int interpolation = bilinear ? cv::INTER_LINEAR : cv::INTER_NEAREST;
    out.setTo(cv::Scalar::all(0));
    cv::Mat warpSrc, warpDst, blend, mask;
    for (const MorphTriangle& tri : s.triangles) {
        const Tri o = TriangleOf(s, tri, 0);
        const cv::Rect r = cv::boundingRect(std::vector<cv::Point2f>(o.p, o.p + 3)) & cv::Rect(0, 0, out.cols, out.rows);
        if (r.empty()) continue;
        WarpPatch(src, TriangleOf(s, tri, 1), o, r, interpolation, warpSrc);
        WarpPatch(dst, TriangleOf(s, tri, 2), o, r, interpolation, warpDst);
        cv::addWeighted(warpSrc, 1.0 - t, warpDst, t, 0.0, blend);
        mask = cv::Mat::zeros(r.size(), CV_8U);
        cv::Point corners[3];
        for (int k = 0; k < 3; ++k)
            corners[k] = cv::Point(cvRound(o.p[k].x) - r.x, cvRound(o.p[k].y) - r.y);
        cv::fillConvexPoly(mask, corners, 3, cv::Scalar(255));
        blend.copyTo(out(r), mask);
    }
}

}  // namespace qvbench
