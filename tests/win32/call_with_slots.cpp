#include "call_with_slots.h"

// cdecl helper: RawCallWithSlots(function, slots, count, bytesRemovedOut).
extern "C" uint32_t RawCallWithSlots(const void* function, const uint32_t* slots, uint32_t count,
                                     uint32_t* bytesRemoved);

asm(R"(
    .text
    .globl _RawCallWithSlots
_RawCallWithSlots:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    andl $-16, %esp
    subl $4, %esp
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl %esp, %ebx
    movl 8(%ebp), %eax
    call *%eax
    movl %esp, %ecx
    subl %ebx, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

SlotCall CallWithSlots(const void* function, const uint32_t* slots, uint32_t count)
{
    SlotCall call{0, 0};
    call.result = RawCallWithSlots(function, slots, count, &call.bytesRemoved);
    return call;
}
