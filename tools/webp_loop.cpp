#include "webp_loop.h"

#include <webp/mux.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "cli_error.h"

namespace qvcli {

void SetWebPLoopCount(const std::string& path, int loopCount, const std::string& shownName)
{
    auto fail = [&](const std::string& why) { throw CliError("cannot write '" + shownName + "': " + why); };
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (!in && !in.eof()) fail("the file could not be read back");
    }
    const WebPData input = {bytes.data(), bytes.size()};
    std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&input, 0), WebPMuxDelete);
    WebPMuxAnimParams params;
    if (!mux || WebPMuxGetAnimationParams(mux.get(), &params) != WEBP_MUX_OK)
        fail("the encoder's animation came out unreadable");
    params.loop_count = loopCount;
    WebPData output;
    WebPDataInit(&output);
    if (WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK || WebPMuxAssemble(mux.get(), &output) != WEBP_MUX_OK)
        fail("the loop count could not be set");
    std::unique_ptr<WebPData, void (*)(WebPData*)> owned(&output, WebPDataClear);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(output.bytes), static_cast<std::streamsize>(output.size));
    out.close();
    if (!out) fail("writing failed (disk full?)");
}

}  // namespace qvcli
