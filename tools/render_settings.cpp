#include "render_settings.h"

#include <quorvane/quorvane.h>

#include <condition_variable>
#include <mutex>

namespace qvcli {

namespace {

std::mutex gateMutex;
std::condition_variable gateFree;
int leaseCount = 0;
// The renderer keeps these addresses and reads through them on every call.
RenderSettings bound;

}  // namespace

RenderSettingsLease::RenderSettingsLease(const RenderSettings& settings)
{
    std::unique_lock lock(gateMutex);
    gateFree.wait(lock, [&] { return leaseCount == 0 || bound == settings; });
    if (leaseCount == 0) {
        bound = settings;
        SetVars(&bound.backgroundWord, &bound.lastTriangle, &bound.renderFlags, &bound.blockSize);
    }
    ++leaseCount;
}

RenderSettingsLease::~RenderSettingsLease()
{
    {
        std::lock_guard lock(gateMutex);
        if (--leaseCount == 0) SetVars(nullptr, nullptr, nullptr, nullptr);
    }
    gateFree.notify_all();
}

}  // namespace qvcli
