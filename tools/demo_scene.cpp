#include "demo_scene.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>

namespace qvcli {

namespace {

struct Color {
    double r, g, b;
};

Color Mix(Color a, Color b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

struct Scene {
    Color skyTop, skyBottom, hill, hillShade, disc;
    double discX, discY, discRadius;
    double ridgeBase, ridgeAmplitude, ridgeWavelength, ridgePhase;
    bool crescent;  // cut a crescent out of the disc
};

const Scene kDay = {{40, 110, 220}, {170, 215, 250}, {70, 160, 60}, {40, 110, 40}, {255, 210, 40},
                    85, 62, 28, 132, 14, 40, 0.0, false};
const Scene kNight = {{10, 10, 40}, {50, 40, 110}, {30, 70, 50}, {15, 40, 30}, {235, 235, 210},
                      155, 52, 20, 124, 20, 35, 1.0, true};

double Ridge(const Scene& s, double x) { return s.ridgeBase + s.ridgeAmplitude * std::sin(x / s.ridgeWavelength + s.ridgePhase); }

Color ColorAt(const Scene& s, double x, double y)
{
    if (y > Ridge(s, x)) return Mix(s.hill, s.hillShade, (y - Ridge(s, x)) / 60.0 > 1 ? 1 : (y - Ridge(s, x)) / 60.0);
    const double dx = x - s.discX, dy = y - s.discY;
    bool inDisc = dx * dx + dy * dy < s.discRadius * s.discRadius;
    if (inDisc && s.crescent) {
        const double cx = dx - s.discRadius * 0.55, cy = dy + s.discRadius * 0.25;
        inDisc = cx * cx + cy * cy >= s.discRadius * s.discRadius * 0.8;
    }
    if (inDisc) return s.disc;
    Color sky = Mix(s.skyTop, s.skyBottom, y / kDemoHeight);
    if (s.crescent) {  // a few stars
        const unsigned h = (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u);
        if (h % 397u == 0) sky = {255, 255, 230};
    }
    return sky;
}

HostPicture Draw(const Scene& scene)
{
    HostPicture picture(kDemoWidth, kDemoHeight);
    for (int y = 0; y < kDemoHeight; ++y) {
        uint32_t* row = picture.row(y);
        for (int x = 0; x < kDemoWidth; ++x) {
            // Four samples a pixel smooth the edges.
            double r = 0, g = 0, b = 0;
            for (int s = 0; s < 4; ++s) {
                const Color c = ColorAt(scene, x + 0.25 + 0.5 * (s & 1), y + 0.25 + 0.5 * (s >> 1));
                r += c.r;
                g += c.g;
                b += c.b;
            }
            const auto channel = [](double v) { return static_cast<uint32_t>(v / 4.0 + 0.5) & 0xFFu; };
            row[x] = channel(r) << 16 | channel(g) << 8 | channel(b);
        }
    }
    return picture;
}

}  // namespace

HostPicture DrawDemoSource() { return Draw(kDay); }
HostPicture DrawDemoDest() { return Draw(kNight); }

std::string DemoPointsText()
{
    std::string text = "# quorvane demo: the sun sets into the moon, the hill reshapes\n"
                       "# srcX srcY dstX dstY\n";
    char line[64];
    auto add = [&](double sx, double sy, double dx, double dy) {
        std::snprintf(line, sizeof line, "%d %d %d %d\n", static_cast<int>(std::lround(sx)),
                      static_cast<int>(std::lround(sy)), static_cast<int>(std::lround(dx)),
                      static_cast<int>(std::lround(dy)));
        text += line;
    };
    add(kDay.discX, kDay.discY, kNight.discX, kNight.discY);
    for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        add(kDay.discX + kDay.discRadius * std::cos(a), kDay.discY + kDay.discRadius * std::sin(a),
            kNight.discX + kNight.discRadius * std::cos(a), kNight.discY + kNight.discRadius * std::sin(a));
    }
    for (int x = 30; x < kDemoWidth; x += 45) add(x, Ridge(kDay, x), x, Ridge(kNight, x));
    return text;
}

}  // namespace qvcli
