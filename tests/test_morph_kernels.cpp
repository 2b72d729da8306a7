// Every span kernel against the portable one: random scenes, flags, weights
// and block sizes must give byte-identical output buffers and identical
// triangle write-back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "morph/span_kernel.h"
#include "support/host_scene.h"

namespace {

using qv::morph::Kernel;

class KernelSwitch {
public:
    explicit KernelSwitch(Kernel k) : previous_(qv::morph::ActiveKernel()) { ok_ = qv::morph::UseKernel(k); }
    ~KernelSwitch() { qv::morph::UseKernel(previous_); }
    bool ok() const { return ok_; }

private:
    Kernel previous_;
    bool ok_;
};

// Large outputs and meshes, so that spans run many lanes wide, most reads take
// the gather path and some wrap.
qvtest::RefScene WideScene(std::mt19937& rng)
{
    qvtest::RefScene sc = qvtest::RandomScene(rng);
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    sc.outW = static_cast<int16_t>(uniform(1, 160));
    sc.outH = static_cast<int16_t>(uniform(1, 90));
    for (size_t v = 0; v < sc.frameX.size(); ++v) {
        sc.frameX[v] = static_cast<int16_t>(uniform(-20, sc.outW + 20));
        sc.frameY[v] = static_cast<int16_t>(uniform(-20, sc.outH + 20));
    }
    // Now and then weights that are not finite, or far outside 0..1.
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -3.5f, 7.25f};
    for (float& w : sc.weights)
        if (uniform(0, 9) == 0) w = specials[uniform(0, 3)];
    return sc;
}

void ExpectSameAsPortable(Kernel kernel)
{
    std::mt19937 rng(7 + static_cast<unsigned>(kernel));
    for (int n = 0; n < 1500; ++n) {
        qvtest::RefScene scene = WideScene(rng);
        qvtest::RefScene portableScene = scene;
        std::vector<uint32_t> expected, actual;
        {
            KernelSwitch use(Kernel::Portable);
            ASSERT_EQ(qvtest::RenderThroughLibrary(portableScene, expected), MORPH_OK);
        }
        {
            KernelSwitch use(kernel);
            ASSERT_TRUE(use.ok());
            ASSERT_EQ(qvtest::RenderThroughLibrary(scene, actual), MORPH_OK);
        }
        ASSERT_EQ(actual, expected) << qv::morph::KernelName(kernel) << " scene " << n << " flags " << scene.flags
                                    << " block " << scene.blockSize;
        for (size_t t = 0; t < scene.triangles.size(); ++t)
            ASSERT_EQ(std::memcmp(scene.triangles[t].v, portableScene.triangles[t].v, 6), 0) << "scene " << n;
    }
}

TEST(SpanKernels, PortableKernelMatchesTheReferenceOnWideScenes)
{
    KernelSwitch use(Kernel::Portable);
    std::mt19937 rng(99);
    for (int n = 0; n < 500; ++n) {
        qvtest::RefScene scene = WideScene(rng);
        qvtest::RefScene refScene = scene;
        std::vector<uint32_t> actual;
        ASSERT_EQ(qvtest::RenderThroughLibrary(scene, actual), MORPH_OK);
        ASSERT_EQ(actual, qvtest::ReferenceRender(refScene)) << "scene " << n;
    }
}

TEST(SpanKernels, Avx2IsByteIdenticalToPortable)
{
    if (!qv::morph::KernelAvailable(Kernel::Avx2)) GTEST_SKIP() << "processor has no AVX2";
    ExpectSameAsPortable(Kernel::Avx2);
}

TEST(SpanKernels, Avx512IsByteIdenticalToPortable)
{
    if (!qv::morph::KernelAvailable(Kernel::Avx512)) GTEST_SKIP() << "processor has no AVX-512";
    ExpectSameAsPortable(Kernel::Avx512);
}

TEST(SpanKernels, DefaultIsTheFastestAvailable)
{
    const Kernel active = qv::morph::ActiveKernel();
    if (qv::morph::KernelAvailable(Kernel::Avx512)) EXPECT_EQ(active, Kernel::Avx512);
    else if (qv::morph::KernelAvailable(Kernel::Avx2)) EXPECT_EQ(active, Kernel::Avx2);
    else EXPECT_EQ(active, Kernel::Portable);
    EXPECT_TRUE(qv::morph::KernelAvailable(Kernel::Portable));
}

}  // namespace
