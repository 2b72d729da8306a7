// Calls a function the way a 32-bit host calls a standard-call export: the
// given 32-bit slots pushed last to first, and measures how many argument
// bytes the function took off the stack itself before returning.
#pragma once

#include <cstdint>

struct SlotCall {
    uint32_t result;        // EAX after the call
    uint32_t bytesRemoved;  // the callee's own cleanup; a standard call removes all slots
};

// The stack is deliberately left 4 bytes off a 16-byte boundary at the call,
// as older hosts leave it.
SlotCall CallWithSlots(const void* function, const uint32_t* slots, uint32_t count);
