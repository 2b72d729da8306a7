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

bool AddWriterHandle(const void* handle, WriterKind kind)
{
    std::lock_guard<std::mutex> lock(gLock);
    try {
        gOpen.push_back({handle, kind});
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
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
    // With no writer open the list gives its memory back, so a host that
    // opens one writer at a time makes no allocation here that outlives it.
    if (gOpen.empty()) std::vector<OpenHandle>().swap(gOpen);
    return true;
}

}  // namespace qv::api
