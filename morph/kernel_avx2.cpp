// The span kernel on AVX2: four positions at a time, each lane computing
// exactly what the portable kernel computes for its position. Every double
// operation is the same IEEE operation in the same order (no fused
// multiply-add), conversions to float round to nearest like the scalar
// conversion, and the truncating conversion yields 0x80000000 for NaN and
// out-of-range values just as the scalar helper does. Writes go out in the
// order of the positions, so overlapping or wrapped blocks end the same.
#include "morph/position.h"
#include "morph/span_kernel.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QV_AVX2 __attribute__((target("avx2"), always_inline)) inline

namespace qv::morph {
namespace {

QV_AVX2 __m256d Double(__m128i v) { return _mm256_cvtepi32_pd(v); }
QV_AVX2 __m256d Double(__m128 v) { return _mm256_cvtps_pd(v); }
QV_AVX2 __m128 Float(__m256d v) { return _mm256_cvtpd_ps(v); }
QV_AVX2 __m128i Trunc(__m256d v) { return _mm256_cvttpd_epi32(v); }
QV_AVX2 __m256d Splat(double v) { return _mm256_set1_pd(v); }
QV_AVX2 __m128i Splat32(uint32_t v) { return _mm_set1_epi32(static_cast<int32_t>(v)); }

QV_AVX2 bool AllSet(__m128i mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)) == 0xF; }
QV_AVX2 bool AnySet(__m128i mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)) != 0; }

// a < b per lane, as unsigned 32-bit numbers.
QV_AVX2 __m128i LessUnsigned(__m128i a, __m128i b)
{
    const __m128i bias = _mm_set1_epi32(INT32_MIN);
    return _mm_cmplt_epi32(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}

// Words at wrapped 32-bit indices: one gather when every index is inside
// the buffer (the common case), the modulo only for lanes that wrap.
QV_AVX2 __m128i Fetch(const PictureBuffer& pic, __m128i index)
{
    if (AllSet(LessUnsigned(index, Splat32(pic.count))))
        return _mm_i32gather_epi32(reinterpret_cast<const int*>(pic.pixels), index, 4);
    alignas(16) uint32_t slots[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(slots), index);
    for (uint32_t& s : slots) s = pic.pixels[s % pic.count];
    return _mm_load_si128(reinterpret_cast<const __m128i*>(slots));
}

QV_AVX2 __m128i Channel(__m128i word, int shift)
{
    return _mm_and_si128(_mm_srl_epi32(word, _mm_cvtsi32_si128(shift)), _mm_set1_epi32(0xFF));
}

QV_AVX2 __m128i Pack(__m128i red, __m128i green, __m128i blue)
{
    const __m128i low = _mm_set1_epi32(0xFF);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(red, low), 16), _mm_slli_epi32(_mm_and_si128(green, low), 8)),
                        _mm_and_si128(blue, low));
}

// channel * factor, truncated.
QV_AVX2 __m128i Scale(__m128i word, int shift, __m256d factor)
{
    return Trunc(_mm256_mul_pd(Double(Channel(word, shift)), factor));
}

struct Lanes {
    __m256d w0, w1, w2;
};

// (c2 * w2 + c1 * w1) + c0 * w0
QV_AVX2 __m256d MapAxis(int32_t c0, int32_t c1, int32_t c2, const Lanes& w)
{
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(Splat(c2), w.w2), _mm256_mul_pd(Splat(c1), w.w1)),
                         _mm256_mul_pd(Splat(c0), w.w0));
}

QV_AVX2 __m128i SampleNearest(const PictureBuffer& pic, __m256d x, __m256d y, double offset)
{
    const __m128i c = Trunc(_mm256_add_pd(x, Splat(offset)));
    const __m128i r = Trunc(_mm256_add_pd(y, Splat(offset)));
    return Fetch(pic, _mm_add_epi32(_mm_mullo_epi32(r, Splat32(static_cast<uint32_t>(pic.width))), c));
}

QV_AVX2 __m128i SampleBilinear(const PictureBuffer& pic, __m256d x, __m256d y, bool keyed, uint32_t key)
{
    const __m256d yf = Double(Float(y));
    const __m128i ix = Trunc(x);
    const __m128i iy = Trunc(yf);
    const __m256d fx = Double(Float(_mm256_sub_pd(x, Double(ix))));
    const __m256d fy = Double(Float(_mm256_sub_pd(yf, Double(iy))));
    const __m256d one = Splat(1.0);
    const __m256d weight[4] = {
        Double(Float(_mm256_mul_pd(_mm256_sub_pd(one, fy), _mm256_sub_pd(one, fx)))),
        Double(Float(_mm256_mul_pd(_mm256_sub_pd(one, fy), fx))),
        Double(Float(_mm256_mul_pd(_mm256_sub_pd(one, fx), fy))),
        Double(Float(_mm256_mul_pd(fy, fx))),
    };
    const __m128i width = Splat32(static_cast<uint32_t>(pic.width));
    const __m128i i0 = _mm_add_epi32(_mm_mullo_epi32(iy, width), ix);
    const __m128i i2 = _mm_add_epi32(_mm_mullo_epi32(_mm_add_epi32(iy, _mm_set1_epi32(1)), width), ix);
    const __m128i index[4] = {i0, _mm_add_epi32(i0, _mm_set1_epi32(1)), i2, _mm_add_epi32(i2, _mm_set1_epi32(1))};

    __m128i blue = _mm_setzero_si128(), green = _mm_setzero_si128(), red = _mm_setzero_si128();
    __m128i anyKeyed = _mm_setzero_si128();
    const __m128i keyWord = Splat32(key);
    for (int k = 0; k < 4; ++k) {
        const __m128i word = Fetch(pic, index[k]);
        const __m128i isKey = keyed ? _mm_cmpeq_epi32(word, keyWord) : _mm_setzero_si128();
        anyKeyed = _mm_or_si128(anyKeyed, isKey);
        blue = _mm_add_epi32(blue, _mm_andnot_si128(isKey, Scale(word, 0, weight[k])));
        green = _mm_add_epi32(green, _mm_andnot_si128(isKey, Scale(word, 8, weight[k])));
        red = _mm_add_epi32(red, _mm_andnot_si128(isKey, Scale(word, 16, weight[k])));
    }
    return _mm_blendv_epi8(Pack(red, green, blue), keyWord, anyKeyed);
}

QV_AVX2 __m128i Sample(const PictureBuffer& pic, const Point corners[3], const Lanes& w, uint16_t flags, uint32_t key,
                       Picture which)
{
    const uint16_t enable = which == Picture::Source ? MORPH_USE_SOURCE : MORPH_USE_DEST;
    if (!(flags & enable)) return Splat32(key);
    const __m256d x = MapAxis(corners[0].x, corners[1].x, corners[2].x, w);
    const __m256d y = MapAxis(corners[0].y, corners[1].y, corners[2].y, w);
    if (flags & MORPH_BILINEAR) return SampleBilinear(pic, x, y, (flags & MORPH_KEY_COLOR) != 0, key);
    return SampleNearest(pic, x, y, which == Picture::Source ? 0.5 : 0.0);
}

QV_AVX2 __m128i Composite(__m128i s, __m128i d, __m256d t, uint16_t flags, uint32_t key)
{
    const __m256d f = _mm256_sub_pd(Splat(1.0), t);
    const __m128i sb = Scale(s, 0, f), sg = Scale(s, 8, f), sr = Scale(s, 16, f);
    const __m128i db = Scale(d, 0, t), dg = Scale(d, 8, t), dr = Scale(d, 16, t);
    const __m128i dissolve = Pack(_mm_add_epi32(sr, dr), _mm_add_epi32(sg, dg), _mm_add_epi32(sb, db));
    if (!(flags & MORPH_KEY_COLOR)) return dissolve;

    const __m128i keyWord = Splat32(key);
    const __m128i sKeyed = _mm_cmpeq_epi32(s, keyWord);
    const __m128i dKeyed = _mm_cmpeq_epi32(d, keyWord);
    __m128i whenSourceKeyed = d, whenDestKeyed = s;
    if (flags & MORPH_KEY_FADE) {
        whenSourceKeyed = _mm_blendv_epi8(Pack(dr, dg, db), d, dKeyed);
        whenDestKeyed = Pack(sr, sg, sb);
    }
    return _mm_blendv_epi8(_mm_blendv_epi8(dissolve, whenDestKeyed, dKeyed), whenSourceKeyed, sKeyed);
}

QV_AVX2 __m256d RowFactor(float q) { return Splat(static_cast<double>(q)); }

// w = a * qa - b * qb, rounded to float, as doubles again.
QV_AVX2 __m256d Barycentric(__m256d a, __m256d qa, __m256d b, __m256d qb)
{
    return Double(Float(_mm256_sub_pd(_mm256_mul_pd(a, qa), _mm256_mul_pd(b, qb))));
}

QV_AVX2 void Store(const TriangleJob& job, const RowSpan& row, __m128i x, __m128i words)
{
    const PictureBuffer& out = job.frame->out;
    const BlockParams& block = job.frame->block;
    alignas(16) int32_t xs[4];
    alignas(16) uint32_t ws[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(xs), x);
    _mm_store_si128(reinterpret_cast<__m128i*>(ws), words);
    if (block.step == 1 && row.y >= 0 && row.y < out.height && xs[0] >= 0 && xs[3] < out.width) {
        // Four neighbouring pixels of one row, all inside: one store.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.pixels + row.y * out.width + xs[0]), words);
        return;
    }
    for (int k = 0; k < 4; ++k) WriteBlock(out, xs[k], row.y, block, ws[k]);
}

}  // namespace

__attribute__((target("avx2"))) void RenderSpanAvx2(const TriangleJob& job, const RowSpan& row)
{
    const TriangleSetup& s = *job.setup;
    FrameRecord& frame = *job.frame;
    const int64_t step = frame.block.step;
    const uint16_t flags = job.flags;
    const bool smooth = (flags & MORPH_WEIGHT_SMOOTH) != 0;
    const __m256d qTop = RowFactor(row.qTop), qMid = RowFactor(row.qMid), qBottom = RowFactor(row.qBottom);
    const __m128i lane = _mm_mullo_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(static_cast<int32_t>(step)));
    const __m128i xTop = _mm_set1_epi32(s.xTop), xMid = _mm_set1_epi32(s.xMid), xBottom = _mm_set1_epi32(s.xBottom);
    __m256d t = Splat(static_cast<double>(frame.morphWeight));

    int64_t x = row.left;
    for (; x + 3 * step <= row.right; x += 4 * step) {
        const __m128i xs = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(x)), lane);
        const __m256d dT = Double(_mm_sub_epi32(xTop, xs));
        const __m256d dM = Double(_mm_sub_epi32(xMid, xs));
        const __m256d dB = Double(_mm_sub_epi32(xBottom, xs));
        Lanes w;
        w.w0 = Barycentric(dM, qBottom, dB, qMid);
        w.w1 = Barycentric(dB, qTop, dT, qBottom);
        w.w2 = Barycentric(dT, qMid, dM, qTop);
        if (smooth) {
            const __m256d blend =
                _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w.w2, Splat(job.vBottom)), _mm256_mul_pd(w.w1, Splat(job.vMid))),
                              _mm256_mul_pd(w.w0, Splat(job.vTop)));
            const __m128 weights = Float(blend);
            t = Double(weights);
            frame.morphWeight = _mm_cvtss_f32(_mm_shuffle_ps(weights, weights, 3));
        }
        const __m128i sWords = Sample(frame.src, s.srcCorners, w, flags, job.key, Picture::Source);
        const __m128i dWords = Sample(frame.dst, s.dstCorners, w, flags, job.key, Picture::Destination);
        Store(job, row, xs, Composite(sWords, dWords, t, flags, job.key));
    }
    for (; x <= row.right; x += step) RenderPosition(job, row, static_cast<int32_t>(x));
}

}  // namespace qv::morph

#else

namespace qv::morph {
void RenderSpanAvx2(const TriangleJob& job, const RowSpan& row) { RenderSpanPortable(job, row); }
}  // namespace qv::morph

#endif
