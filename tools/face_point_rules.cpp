#include "face_point_rules.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <utility>

#include "morph_mesh.h"

namespace qvcli {

namespace {

using Pixel = std::pair<int, int>;

// Offsets to try for a clashing point, nearest first, then in reading order.
std::vector<Pixel> NudgeOffsets()
{
    std::vector<Pixel> offsets;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (dx != 0 || dy != 0) offsets.push_back({dx, dy});
    std::stable_sort(offsets.begin(), offsets.end(), [](const Pixel& a, const Pixel& b) {
        return a.first * a.first + a.second * a.second < b.first * b.first + b.second * b.second;
    });
    return offsets;
}

// The whole FROM pixel along a side that lands on output pixel `out`, if any.
std::optional<int> SourceForOutput(int out, int from, int to)
{
    if (out < 0 || out >= to) return std::nullopt;
    const int back = static_cast<int>(std::floor((out + 0.5) * from / to));  // pixel whose span holds the centre
    const int candidate = std::clamp(back, 0, from - 1);
    if (ScaleCoordinate(candidate, from, to) != out) return std::nullopt;
    return candidate;
}

bool Inside(double x, double y, Size2 size) { return x >= 0 && y >= 0 && x < size.width && y < size.height; }

}  // namespace

PlacedLandmarks PlaceLandmarks(const std::vector<LandmarkPair>& pairs, Size2 fromSize, Size2 toSize,
                               Size2 outputSize, const std::vector<ControlPoint>* existing)
{
    const int W = outputSize.width, H = outputSize.height;
    std::set<Pixel> taken{{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}};
    const auto atOutput = [&](double x, double y) {
        return Pixel{ScaleCoordinate(x, fromSize.width, W), ScaleCoordinate(y, fromSize.height, H)};
    };
    // A landmark on a point already placed is left out rather than moved
    // beside it: that point marks the place already, and a copy a pixel away
    // would most likely share its destination and fold the mesh there.
    std::set<Pixel> placedBefore;
    if (existing)
        for (const ControlPoint& p : *existing) placedBefore.insert(atOutput(p.srcX, p.srcY));
    taken.insert(placedBefore.begin(), placedBefore.end());

    static const std::vector<Pixel> offsets = NudgeOffsets();
    PlacedLandmarks placed;
    for (const LandmarkPair& pair : pairs) {
        ControlPoint p;
        p.srcX = std::floor(pair.fromX + 0.5);
        p.srcY = std::floor(pair.fromY + 0.5);
        p.dstX = std::floor(pair.toX + 0.5);
        p.dstY = std::floor(pair.toY + 0.5);
        if (!Inside(p.srcX, p.srcY, fromSize) || !Inside(p.dstX, p.dstY, toSize)) {
            ++placed.dropped;
            continue;
        }
        const Pixel at = atOutput(p.srcX, p.srcY);
        if (placedBefore.contains(at)) {
            ++placed.dropped;
            continue;
        }
        if (taken.insert(at).second) {
            placed.points.push_back(p);
            continue;
        }
        bool moved = false;
        for (const Pixel& d : offsets) {
            const auto x = SourceForOutput(at.first + d.first, fromSize.width, W);
            const auto y = SourceForOutput(at.second + d.second, fromSize.height, H);
            if (!x || !y || !taken.insert({at.first + d.first, at.second + d.second}).second) continue;
            p.srcX = *x;
            p.srcY = *y;
            moved = true;
            break;
        }
        if (moved) {
            ++placed.nudged;
            placed.points.push_back(p);
        } else {
            ++placed.dropped;
        }
    }
    return placed;
}

}  // namespace qvcli
