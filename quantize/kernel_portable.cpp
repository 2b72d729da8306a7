// The network search and neighbourhood update one neuron at a time, in the
// original's order.
#include <climits>

#include "quantize/network.h"

namespace qv::quantize {

int ContestPortable(Network& net, int b, int g, int r)
{
    int bestd = INT_MAX, bestbiasd = INT_MAX;
    int bestpos = -1, bestbiaspos = -1;
    for (int i = 0; i < net.size; ++i) {
        int dist = net.b[i] - b;
        if (dist < 0) dist = -dist;
        int a = net.g[i] - g;
        if (a < 0) a = -a;
        dist += a;
        a = net.r[i] - r;
        if (a < 0) a = -a;
        dist += a;
        if (dist < bestd) {
            bestd = dist;
            bestpos = i;
        }
        const int biasdist = dist - (net.bias[i] >> (kIntBiasShift - kNetBiasShift));
        if (biasdist < bestbiasd) {
            bestbiasd = biasdist;
            bestbiaspos = i;
        }
        const int betafreq = net.freq[i] >> kBetaShift;
        net.freq[i] -= betafreq;
        net.bias[i] += betafreq << kGammaShift;
    }
    net.freq[bestpos] += kBeta;
    net.bias[bestpos] -= kBetaGamma;
    return bestbiaspos;
}

void AlterNeighboursPortable(Network& net, int rad, int i, int b, int g, int r)
{
    const int lo = i - rad + 1 < 0 ? 0 : i - rad + 1;
    const int hi = i + rad - 1 >= net.size ? net.size - 1 : i + rad - 1;
    const int32_t* weight = net.weight + kWeightCentre - i;
    for (int j = lo; j <= hi; ++j) {
        const int a = weight[j];
        net.b[j] -= (a * (net.b[j] - b)) / (1 << kAlphaRadBiasShift);
        net.g[j] -= (a * (net.g[j] - g)) / (1 << kAlphaRadBiasShift);
        net.r[j] -= (a * (net.r[j] - r)) / (1 << kAlphaRadBiasShift);
    }
}

}  // namespace qv::quantize
