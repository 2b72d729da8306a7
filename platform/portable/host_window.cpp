// Host windows: they only carry the compressor chooser and its context.
#include <cstring>
#include <new>

#include "platform/portable/host_objects.h"
#include "platform/window.h"

extern "C" {

QV_API HostWindow* CreateHostWindow(HostCompressorChooser chooseCompressor, void* context)
{
    auto* window = new (std::nothrow) HostWindow;
    if (window != nullptr) {
        window->chooser = chooseCompressor;
        window->context = context;
    }
    return window;
}

QV_API void DeleteHostWindow(HostWindow* window) { delete window; }

}  // extern "C"

namespace qv::win {

int32_t RunChooser(QvWindow window, AVICOMPRESSOPTIONS* options)
{
    if (window == nullptr || window->chooser == nullptr) return -1;
    if (options == nullptr) return 0;
    std::memset(options, 0, sizeof *options);
    return window->chooser(window->context, options) != 0 ? 1 : 0;
}

}  // namespace qv::win
