#include "support/reference_morph.h"

#include <cmath>
#include <cstring>

namespace qv::test {
namespace {

// x86 truncating conversion: the "integer indefinite" value for NaN and overflow.
int32_t Trunc(double v)
{
    if (std::isnan(v) || v >= 2147483648.0 || v <= -2147483649.0) return static_cast<int32_t>(0x80000000u);
    return static_cast<int32_t>(std::trunc(v));
}

float F(double v) { return static_cast<float>(v); }

uint32_t Slot(int64_t row, int64_t width, int64_t col, uint32_t count)
{
    const uint32_t idx = static_cast<uint32_t>(static_cast<uint64_t>(row * width + col) & 0xFFFFFFFFull);
    return idx % count;
}

struct Vtx {
    int16_t id;
    int32_t x, y;
};

}  // namespace

std::vector<uint32_t> ReferenceRender(RefScene& sc)
{
    const uint32_t outCount = static_cast<uint32_t>(sc.outW * sc.outH);
    std::vector<uint32_t> out(outCount);
    uint8_t bb[4];
    std::memcpy(bb, &sc.background, 4);
    for (auto& p : out) p = uint32_t(bb[0]) << 16 | uint32_t(bb[1]) << 8 | bb[2];

    float weight = sc.frameCount == 0 ? 0.0f : F(double(sc.frameIndex) / double(sc.frameCount));
    if (!(sc.flags & 0x0300)) return out;

    const int step = sc.blockSize >= 1 ? sc.blockSize : 1;
    const int lo = -((step - 1) / 2), hi = step / 2;
    const uint32_t key = sc.background;
    auto fx = [&](int16_t id) { return sc.frameX[size_t(id + 3)]; };
    auto fy = [&](int16_t id) { return sc.frameY[size_t(id + 3)]; };
    auto vw = [&](int16_t id) { return sc.weights[size_t(id + 3)]; };
    auto corner = [&](int16_t id, int pic, int axis) -> int32_t {
        const int32_t w = pic == 1 ? sc.srcW : sc.dstW, h = pic == 1 ? sc.srcH : sc.dstH;
        if (id == 0) return 0;
        if (id == -1) return axis == 0 ? w - 1 : 0;
        if (id == -2) return axis == 0 ? 0 : h - 1;
        if (id == -3) return axis == 0 ? w - 1 : h - 1;
        const int idx = 4 * id + (pic == 1 ? -2 : 0) + (axis == 0 ? 1 : 0);
        return sc.controlPoints[size_t(idx)] + 2;
    };

    for (int i = 0; i <= sc.lastTriangle; ++i) {
        RefTriangle& tri = sc.triangles[size_t(i)];
        if ((sc.flags & 0x8000) && (tri.v[0] <= 0 || tri.v[1] <= 0 || tri.v[2] <= 0)) continue;
        // Top: first with the smallest y; bottom: first with the largest y.
        int16_t top = tri.v[0], bot = tri.v[0];
        for (int k = 1; k < 3; ++k) {
            if (fy(tri.v[k]) < fy(top)) top = tri.v[k];
            if (fy(tri.v[k]) > fy(bot)) bot = tri.v[k];
        }
        int16_t mid = tri.v[0];
        if (mid == top || mid == bot) mid = tri.v[1];
        if (mid == top || mid == bot) mid = tri.v[2];
        if (top == bot) bot = int16_t(tri.v[0] + tri.v[1] + tri.v[2] - mid - top);
        tri.v[0] = top;
        tri.v[1] = mid;
        tri.v[2] = bot;

        Vtx T{top, fx(top), fy(top)}, M{mid, fx(mid), fy(mid)}, B{bot, fx(bot), fy(bot)};
        if (step > 1)
            for (Vtx* v : {&T, &M, &B}) {
                v->x = step * (v->x / step);
                v->y = step * (v->y / step);
            }
        struct E {
            float s, c;
        };
        auto edge = [&](const Vtx& P, const Vtx& Q) {
            const float dy = float(Q.y - P.y);
            if (dy == 0.0f) return E{0.0f, float(M.x)};
            const float s = F(double(Q.x - P.x) / double(dy));
            return E{s, F(double(P.x) - double(P.y) * double(s))};
        };
        const E lng = edge(T, B), up = edge(T, M), low = edge(M, B);
        const bool midLeft = (B.y - T.y) != 0 && double(M.x) < double(M.y) * double(lng.s) + double(lng.c);
        const float area = float((M.x - T.x) * (B.y - T.y) - (B.x - T.x) * (M.y - T.y));
        if (!(std::fabs(area) > 1.0f)) continue;
        if (sc.flags & 0x0004) {
            const int n = (T.id >= 1) + (M.id >= 1) + (B.id >= 1);
            weight = n == 0 ? 0.0f : F((double(vw(B.id)) + double(vw(M.id)) + double(vw(T.id))) / double(float(n)));
        }
        const int32_t cs[2][3][2] = {
            {{corner(T.id, 1, 0), corner(T.id, 1, 1)}, {corner(M.id, 1, 0), corner(M.id, 1, 1)}, {corner(B.id, 1, 0), corner(B.id, 1, 1)}},
            {{corner(T.id, 2, 0), corner(T.id, 2, 1)}, {corner(M.id, 2, 0), corner(M.id, 2, 1)}, {corner(B.id, 2, 0), corner(B.id, 2, 1)}}};

        for (int y = T.y; y <= B.y; y += step) {
            const float qT = F(double(T.y - y) / double(area));
            const float qM = F(double(M.y - y) / double(area));
            const float qB = F(double(B.y - y) / double(area));
            const int32_t xl = Trunc(double(y) * double(lng.s) + double(lng.c));
            const E& se = y <= M.y ? up : low;
            const int32_t xs = Trunc(double(y) * double(se.s) + double(se.c));
            const int32_t left = midLeft ? xs : xl, right = midLeft ? xl : xs;
            for (int x = left; x <= right; x += step) {
                const double dT = T.x - x, dM = M.x - x, dB = B.x - x;
                const float w0 = F(dM * double(qB) - dB * double(qM));
                const float w1 = F(dB * double(qT) - dT * double(qB));
                const float w2 = F(dT * double(qM) - dM * double(qT));
                if (sc.flags & 0x0002)
                    weight = F(double(w2) * double(vw(B.id)) + double(w1) * double(vw(M.id)) + double(w0) * double(vw(T.id)));
                uint32_t colour[2];
                for (int pic = 0; pic < 2; ++pic) {
                    if (!(sc.flags & (pic == 0 ? 0x0100 : 0x0200))) {
                        colour[pic] = key;
                        continue;
                    }
                    const std::vector<uint32_t>& px = pic == 0 ? sc.src : sc.dst;
                    const int32_t W = pic == 0 ? sc.srcW : sc.dstW;
                    const uint32_t C = uint32_t(px.size());
                    const double mx = (double(cs[pic][2][0]) * double(w2) + double(cs[pic][1][0]) * double(w1)) + double(cs[pic][0][0]) * double(w0);
                    const double my = (double(cs[pic][2][1]) * double(w2) + double(cs[pic][1][1]) * double(w1)) + double(cs[pic][0][1]) * double(w0);
                    if (!(sc.flags & 0x1000)) {
                        const double half = pic == 0 ? 0.5 : 0.0;
                        colour[pic] = px[Slot(Trunc(my + half), W, Trunc(mx + half), C)];
                        continue;
                    }
                    const float yf = F(my);
                    const int32_t ix = Trunc(mx), iy = Trunc(yf);
                    const float fxr = F(mx - ix), fyr = F(double(yf) - iy);
                    const float nw[4] = {F((1.0 - fyr) * (1.0 - fxr)), F((1.0 - fyr) * fxr), F((1.0 - fxr) * fyr), F(double(fyr) * fxr)};
                    const int64_t nx[4] = {ix, int64_t(ix) + 1, ix, int64_t(ix) + 1};
                    const int64_t ny[4] = {iy, iy, int64_t(iy) + 1, int64_t(iy) + 1};
                    int64_t sum[3] = {0, 0, 0};
                    int keyed = 0;
                    for (int k = 0; k < 4; ++k) {
                        const uint32_t word = px[Slot(ny[k], W, nx[k], C)];
                        if ((sc.flags & 0x2000) && word == key) {
                            ++keyed;
                            continue;
                        }
                        for (int ch = 0; ch < 3; ++ch) sum[ch] += Trunc(double((word >> (8 * ch)) & 255) * double(nw[k]));
                    }
                    colour[pic] = keyed ? key : uint32_t(((sum[2] & 255) << 16) | ((sum[1] & 255) << 8) | (sum[0] & 255));
                }
                const uint32_t S = colour[0], D = colour[1];
                const double f = 1.0 - double(weight), t = double(weight);
                auto mix = [&](double a, double b) {
                    uint32_t r = 0;
                    for (int ch = 0; ch < 3; ++ch) {
                        const int64_t v = int64_t(Trunc(double((S >> (8 * ch)) & 255) * a)) + int64_t(Trunc(double((D >> (8 * ch)) & 255) * b));
                        r |= uint32_t(v & 255) << (8 * ch);
                    }
                    return r;
                };
                uint32_t o;
                const bool kc = sc.flags & 0x2000, kf = sc.flags & 0x4000;
                if (!kc) o = mix(f, t);
                else if (S == key) o = (kf && D != key) ? mix(0.0, t) : D;
                else if (D == key) o = kf ? mix(f, 0.0) : S;
                else o = mix(f, t);
                for (int dy = (step == 1 ? 0 : lo); dy <= (step == 1 ? 0 : hi); ++dy)
                    for (int dx = (step == 1 ? 0 : lo); dx <= (step == 1 ? 0 : hi); ++dx)
                        out[Slot(int64_t(y) + dy, sc.outW, int64_t(x) + dx, outCount)] = o;
            }
        }
    }
    return out;
}

}  // namespace qv::test
