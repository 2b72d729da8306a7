#include "support/morph_scene.h"

#include <cmath>
#include <random>

namespace qvbench {
namespace {

uint32_t Texture(int x, int y, int variant)
{
    const uint32_t r = static_cast<uint32_t>((x * (3 + variant) + y) & 255);
    const uint32_t g = static_cast<uint32_t>((y * (2 + variant) ^ x) & 255);
    const uint32_t b = static_cast<uint32_t>(((x + y) * (1 + variant) / 3) & 255);
    return r << 16 | g << 8 | b;
}

}  // namespace

Scene MakeScene(int32_t width, int32_t height, int cols, int rows, float t)
{
    Scene s;
    s.width = width;
    s.height = height;
    s.src.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    s.dst.resize(s.src.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            s.src[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = Texture(x, y, 0);
            s.dst[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = Texture(x, y, 1);
        }

    // Grid vertex (i, j) gets an identifier: corners -3..0, others 1, 2, ...
    std::vector<int16_t> id(static_cast<size_t>((cols + 1) * (rows + 1)));
    int16_t next = 1;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            int16_t v;
            if (i == 0 && j == 0) v = 0;
            else if (i == cols && j == 0) v = -1;
            else if (i == 0 && j == rows) v = -2;
            else if (i == cols && j == rows) v = -3;
            else v = next++;
            id[static_cast<size_t>(j * (cols + 1) + i)] = v;
        }
    const size_t vertices = static_cast<size_t>(next) + 3;
    s.frameX.resize(vertices);
    s.frameY.resize(vertices);
    s.weights.resize(vertices);
    s.srcPos.resize(vertices);
    s.dstPos.resize(vertices);
    s.controlPoints.assign(static_cast<size_t>(4 * next + 2), 0);

    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            const int16_t v = id[static_cast<size_t>(j * (cols + 1) + i)];
            const bool inner = i > 0 && i < cols && j > 0 && j < rows;
            const float cellW = static_cast<float>(width - 1) / static_cast<float>(cols);
            const float cellH = static_cast<float>(height - 1) / static_cast<float>(rows);
            const float sx = static_cast<float>(i) * cellW, sy = static_cast<float>(j) * cellH;
            const float dx = inner ? sx + jitter(rng) * cellW : sx, dy = inner ? sy + jitter(rng) * cellH : sy;
            const size_t k = static_cast<size_t>(v + 3);
            s.srcPos[k] = {std::round(sx), std::round(sy)};
            s.dstPos[k] = {std::round(dx), std::round(dy)};
            s.frameX[k] = static_cast<int16_t>(std::lround(sx + (dx - sx) * t));
            s.frameY[k] = static_cast<int16_t>(std::lround(sy + (dy - sy) * t));
            s.weights[k] = t;
            if (v >= 1) {
                // Stored coordinates are the picture coordinates minus 2.
                s.controlPoints[static_cast<size_t>(4 * v - 2)] = static_cast<int16_t>(s.srcPos[k][1] - 2);
                s.controlPoints[static_cast<size_t>(4 * v - 1)] = static_cast<int16_t>(s.srcPos[k][0] - 2);
                s.controlPoints[static_cast<size_t>(4 * v)] = static_cast<int16_t>(s.dstPos[k][1] - 2);
                s.controlPoints[static_cast<size_t>(4 * v + 1)] = static_cast<int16_t>(s.dstPos[k][0] - 2);
            }
        }
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            const int16_t a = id[static_cast<size_t>(j * (cols + 1) + i)];
            const int16_t b = id[static_cast<size_t>(j * (cols + 1) + i + 1)];
            const int16_t c = id[static_cast<size_t>((j + 1) * (cols + 1) + i)];
            const int16_t d = id[static_cast<size_t>((j + 1) * (cols + 1) + i + 1)];
            s.triangles.push_back({{a, b, c}});
            s.triangles.push_back({{b, d, c}});
        }
    return s;
}

}  // namespace qvbench
