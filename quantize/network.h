// The NeuQuant network while it learns, kept as one array per quantity so
// that the search and the neighbourhood updates run on whole vectors.
#pragma once

#include <cstdint>

namespace qv::quantize {

// Learning constants: the integer shifts of the original NeuQuant, which the
// results depend on to the last bit.
inline constexpr int kNetBiasShift = 4;     // colour values are biased by 4 bits
inline constexpr int kCycles = 100;         // learning cycles
inline constexpr int kIntBiasShift = 16;    // bias of freq and bias
inline constexpr int kIntBias = 1 << kIntBiasShift;
inline constexpr int kGammaShift = 10;
inline constexpr int kBetaShift = 10;
inline constexpr int kBeta = kIntBias >> kBetaShift;
inline constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);
inline constexpr int kRadiusBiasShift = 6;
inline constexpr int kRadiusBias = 1 << kRadiusBiasShift;
inline constexpr int kRadiusDec = 30;
inline constexpr int kAlphaBiasShift = 10;
inline constexpr int kInitAlpha = 1 << kAlphaBiasShift;
inline constexpr int kRadBiasShift = 8;
inline constexpr int kRadBias = 1 << kRadBiasShift;
inline constexpr int kAlphaRadBiasShift = kAlphaBiasShift + kRadBiasShift;

inline constexpr int kMaxNeurons = 256;
inline constexpr int kVectorPad = 16;  // one AVX-512 vector of spare lanes
// Spare neurons past the learning ones sit far from every colour, so that a
// whole-vector search never picks them; freq and bias stay 0 there.
inline constexpr int32_t kFarAway = 1 << 24;

// Weights of the neighbourhood update by offset from the hit neuron:
// weight[kWeightCentre + d] is radpower[|d|] for 0 < |d| < rad and 0 elsewhere
// (also at d = 0: the hit neuron is moved on its own). The margins let a
// vector start a whole vector before the first neighbour.
inline constexpr int kMaxRadius = kMaxNeurons >> 3;
inline constexpr int kWeightCentre = kMaxRadius + kVectorPad;
inline constexpr int kWeightCount = 2 * kWeightCentre + kVectorPad;

struct Network {
    alignas(64) int32_t b[kMaxNeurons + kVectorPad];
    alignas(64) int32_t g[kMaxNeurons + kVectorPad];
    alignas(64) int32_t r[kMaxNeurons + kVectorPad];
    alignas(64) int32_t bias[kMaxNeurons + kVectorPad];
    alignas(64) int32_t freq[kMaxNeurons + kVectorPad];
    alignas(64) int32_t weight[kWeightCount];
    int size = 0;  // learning neurons
};

// Finds the neuron nearest (b, g, r) and the one nearest after bias (the
// first of equals wins both), updates every freq and bias as the original
// does, and returns the biased winner.
using ContestKernel = int (*)(Network& net, int b, int g, int r);

// Moves neurons max(i-rad+1, 0) .. min(i+rad-1, size-1) towards (b, g, r) by
// net.weight; neuron i itself is left alone (its weight is 0).
using NeighbourKernel = void (*)(Network& net, int rad, int i, int b, int g, int r);

int ContestPortable(Network& net, int b, int g, int r);
void AlterNeighboursPortable(Network& net, int rad, int i, int b, int g, int r);
int ContestAvx2(Network& net, int b, int g, int r);
void AlterNeighboursAvx2(Network& net, int rad, int i, int b, int g, int r);
int ContestAvx512(Network& net, int b, int g, int r);
void AlterNeighboursAvx512(Network& net, int rad, int i, int b, int g, int r);

// The first position of the lowest value over lanes [0, count): used to
// combine per-lane winners, each the first of its lane.
inline int FirstLowest(const int32_t* value, const int32_t* position, int count)
{
    int best = 0;
    for (int k = 1; k < count; ++k)
        if (value[k] < value[best] || (value[k] == value[best] && position[k] < position[best])) best = k;
    return best;
}

}  // namespace qv::quantize
