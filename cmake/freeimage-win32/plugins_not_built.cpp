// The formats whose codecs this build leaves out (OpenEXR, JPEG 2000, camera
// RAW, WebP, JPEG XR). Each still registers under its name, so that every
// format keeps the number that FREE_IMAGE_FORMAT gives it; with no load or
// save procedure FreeImage reports the format as unsupported.
#include "FreeImage.h"
#include "Plugin.h"

namespace {

const char* DLL_CALLCONV FormatEXR() { return "EXR"; }
const char* DLL_CALLCONV FormatJ2K() { return "J2K"; }
const char* DLL_CALLCONV FormatJP2() { return "JP2"; }
const char* DLL_CALLCONV FormatRAW() { return "RAW"; }
const char* DLL_CALLCONV FormatWEBP() { return "WebP"; }
const char* DLL_CALLCONV FormatJXR() { return "JPEG-XR"; }

}  // namespace

void DLL_CALLCONV InitEXR(Plugin* plugin, int) { plugin->format_proc = FormatEXR; }
void DLL_CALLCONV InitJ2K(Plugin* plugin, int) { plugin->format_proc = FormatJ2K; }
void DLL_CALLCONV InitJP2(Plugin* plugin, int) { plugin->format_proc = FormatJP2; }
void DLL_CALLCONV InitRAW(Plugin* plugin, int) { plugin->format_proc = FormatRAW; }
void DLL_CALLCONV InitWEBP(Plugin* plugin, int) { plugin->format_proc = FormatWEBP; }
void DLL_CALLCONV InitJXR(Plugin* plugin, int) { plugin->format_proc = FormatJXR; }
