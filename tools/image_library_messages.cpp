#include "image_library_messages.h"

#include <FreeImage.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace qvcli {

namespace {

constexpr std::size_t kShown = 3;
constexpr std::size_t kKept = 16;  // a broken file can repeat one message thousands of times

thread_local std::vector<std::string> kept;

void Keep(std::string message)
{
    while (!message.empty() && (message.back() == '\n' || message.back() == '.' || message.back() == ' '))
        message.pop_back();
    if (message.empty() || kept.size() >= kKept) return;
    if (std::find(kept.begin(), kept.end(), message) == kept.end()) kept.push_back(std::move(message));
}

void KeepFreeImageMessage(FREE_IMAGE_FORMAT, const char* message)
{
    if (message != nullptr) Keep(message);
}

void KeepTiffMessage(const char* module, const char* format, va_list args)
{
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    // Many messages begin with the file's name, which FreeImage leaves empty.
    std::string text = buffer;
    if (text.rfind(": ", 0) == 0) text.erase(0, 2);
    Keep(module != nullptr && module[0] != '\0' ? std::string(module) + ": " + text : text);
}

}  // namespace

void StartKeepingImageMessages()
{
    static std::once_flag routed;
    std::call_once(routed, [] {
        FreeImage_SetOutputMessage(KeepFreeImageMessage);
        TIFFSetErrorHandler(KeepTiffMessage);
        TIFFSetWarningHandler(KeepTiffMessage);
    });
    kept.clear();
}

std::string KeptImageMessages()
{
    if (kept.empty()) return std::string();
    std::string text = " (";
    for (std::size_t i = 0; i < kept.size() && i < kShown; ++i) text += (i > 0 ? "; " : "") + kept[i];
    return text + ")";
}

}  // namespace qvcli
