#include "api/writer_handles.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

namespace qv::api {
namespace {

struct OpenHandle {
    const void* handle;
    WriterKind kind;
};

// Hosts keep a handful of writers open at a time: a short list is enough.
std::mutex gLock;
std::vector<OpenHandle> gOpen;

auto Find(const void* handle, WriterKind kind)
{
    return std::find_if(gOpen.begin(), gOpen.end(),
                        [&](const OpenHandle& h) { return h.handle == handle && h.kind == kind; });
}

}  // namespace

bool ReserveWriterHandle()
{
    std::lock_guard<std::mutex> lock(gLock);
    try {
        gOpen.reserve(gOpen.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

void AddWriterHandle(const void* handle, WriterKind kind)
{
    std::lock_guard<std::mutex> lock(gLock);
    // The room was reserved; only a Start racing on another thread can have
    // taken it, and then growing is the one way left.
    try {
        gOpen.push_back({handle, kind});
    } catch (const std::bad_alloc&) {
    }
}

bool IsOpenWriterHandle(const void* handle, WriterKind kind)
{
    if (handle == nullptr) return false;
    std::lock_guard<std::mutex> lock(gLock);
    return Find(handle, kind) != gOpen.end();
}

bool TakeWriterHandle(const void* handle, WriterKind kind)
{
    if (handle == nullptr) return false;
    std::lock_guard<std::mutex> lock(gLock);
    const auto found = Find(handle, kind);
    if (found == gOpen.end()) return false;
    gOpen.erase(found);
    return true;
}

}  // namespace qv::api
