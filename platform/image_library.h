// Whether the image library can be used in this process. The portable build
// links it; the Windows build loads the host's FreeImage.dll on first use,
// so a host without it still gets the renderer and the video calls, and the
// image-writing calls fail with their codes instead of faulting.
#pragma once

namespace qv::platform {

bool ImageLibraryAvailable();

}  // namespace qv::platform
