#include "morph/fill_words.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace qv::morph {
namespace {

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void FillWordsAvx2(uint32_t* words, uint32_t count, uint32_t value)
{
    const __m256i v = _mm256_set1_epi32(static_cast<int32_t>(value));
    uint32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 8), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 16), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 24), v);
    }
    std::fill(words + i, words + count, value);
}

bool HasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

}  // namespace

void FillWords(uint32_t* words, uint32_t count, uint32_t value)
{
#if defined(__x86_64__) || defined(__i386__)
    if (HasAvx2()) {
        FillWordsAvx2(words, count, value);
        return;
    }
#endif
    std::fill_n(words, count, value);
}

}  // namespace qv::morph
