#include "compressor_choice.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli_error.h"

namespace qvcli {

std::vector<QvCompressorInfo> AvailableCompressors()
{
    const int32_t count = QvListCompressors(nullptr, 0);
    std::vector<QvCompressorInfo> list(static_cast<std::size_t>(std::max(count, 0)));
    if (!list.empty()) QvListCompressors(list.data(), static_cast<int32_t>(list.size()));
    return list;
}

std::string FourCCText(uint32_t fcc)
{
    std::string text;
    for (int i = 0; i < 4; ++i) text += static_cast<char>((fcc >> (8 * i)) & 0xFF);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void FillOptions(const CompressorRequest& request, uint32_t fcc, AVICOMPRESSOPTIONS* options)
{
    options->fccType = QV_FOURCC('v', 'i', 'd', 's');
    options->fccHandler = fcc;
    options->dwKeyFrameEvery = static_cast<uint32_t>(request.keyFrameEvery);
    // Above 10000 means the compressor's default.
    options->dwQuality = request.quality ? static_cast<uint32_t>(*request.quality) * 100u : 0xFFFFFFFFu;
}

}  // namespace

std::string CompressorListText()
{
    std::string text;
    for (const QvCompressorInfo& c : AvailableCompressors()) {
        std::string name = Lower(FourCCText(c.fccHandler));
        name.resize(std::max<std::size_t>(name.size(), 6), ' ');
        text += "  " + name + (c.description != nullptr ? c.description : "") +
                (c.lossless ? " (lossless)" : "") + "\n";
    }
    return text;
}

CompressorRequest ResolveCodec(const std::string& name)
{
    CompressorRequest request;
    const std::string wanted = Lower(name);
    if (wanted == "ask") {
        request.ask = true;
        return request;
    }
    const std::string code = (wanted == "raw" || wanted == "none" || wanted == "uncompressed") ? "dib" : wanted;
    for (const QvCompressorInfo& c : AvailableCompressors()) {
        if (Lower(FourCCText(c.fccHandler)) == code) {
            request.fcc = c.fccHandler;
            return request;
        }
    }
    throw UsageError("--codec: no compressor '" + name + "' in this build; available:\n" + CompressorListText() +
                     "  ask   choose from this list when writing");
}

int32_t ChooseCompressor(void* context, AVICOMPRESSOPTIONS* options)
{
    const auto& request = *static_cast<const CompressorRequest*>(context);
    if (!request.ask) {
        FillOptions(request, request.fcc, options);
        return 1;
    }
    const std::vector<QvCompressorInfo> list = AvailableCompressors();
    if (!isatty(STDIN_FILENO)) return 0;  // nobody to ask: cancelled
    std::cerr << "Compressors:\n";
    for (std::size_t i = 0; i < list.size(); ++i)
        std::cerr << "  " << i + 1 << ". " << FourCCText(list[i].fccHandler) << "  "
                  << (list[i].description != nullptr ? list[i].description : "") << "\n";
    std::cerr << "Choose 1-" << list.size() << " (Enter cancels): " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return 0;
    std::size_t choice = 0;
    for (char c : line) {
        if (c == ' ' || c == '\r') continue;
        if (c < '0' || c > '9') return 0;
        choice = choice * 10 + static_cast<std::size_t>(c - '0');
        if (choice > list.size()) return 0;
    }
    if (choice < 1 || choice > list.size()) return 0;
    FillOptions(request, list[choice - 1].fccHandler, options);
    return 1;
}

}  // namespace qvcli
