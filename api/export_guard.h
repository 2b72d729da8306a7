// Exports are C functions: nothing may unwind through them. A C++ exception
// from below (the image and video libraries throw when memory runs out) is
// turned into the export's failure code here.
#pragma once

#include <cstdint>
#include <utility>

namespace qv::api {

template <typename Call>
int32_t Guarded(int32_t failure, Call&& call) noexcept
{
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        return failure;
    }
}

template <typename Call>
void GuardedVoid(Call&& call) noexcept
{
    try {
        std::forward<Call>(call)();
    } catch (...) {
    }
}

}  // namespace qv::api
