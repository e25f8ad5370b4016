// The CPU seam of the firmware images: the interrupt descriptor table base,
// read from IDTR with sidt.
#include "hw/cpu.h"

namespace {

// What sidt stores: a 16-bit limit followed by the base, 32 bits wide in
// protected mode and 64 bits wide in long mode.
struct __attribute__((packed)) InterruptDescriptorTableRegister {
  UINT16 Limit;
  UINTN Base;
};
static_assert(sizeof(InterruptDescriptorTableRegister) == ForTarget(6, 10));
static_assert(__builtin_offsetof(InterruptDescriptorTableRegister, Base) == 2);

}  // namespace

UINTN ReadIdtBase() {
  InterruptDescriptorTableRegister idtr;
  __asm__ __volatile__("sidt %0" : "=m"(idtr));
  return idtr.Base;
}
