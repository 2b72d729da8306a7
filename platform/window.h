// The host window's part in the library: it owns the compressor chooser that
// the AVI writer consults. Platform-neutral; each platform build supplies it.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>
#if defined(_WIN32)
#  include <vfw.h>
#else
#  include <quorvane/host.h>
#endif

namespace qv::win {

// Asks the chooser that `window` owns to fill `options` (zeroed first).
// Returns -1 when there is no chooser (null window, or a window created
// without one): the caller applies its own default choice. Otherwise 1 when
// the chooser confirmed and 0 when it cancelled (or `options` is null).
int32_t RunChooser(QvWindow window, AVICOMPRESSOPTIONS* options);

}  // namespace qv::win
