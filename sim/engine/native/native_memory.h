// Guest memory of a native boot. Guest addresses are host pointers here, so
// every access is checked first: it must lie in memory the board handed out
// (Allocate), in the loaded module's own image, or on the stack the module
// runs on. Anything else, a register window's address or a stray value, is
// a GuestFault naming the address, never a host access.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "sim/base/guest_memory.h"

namespace boardsim {

class NativeMemory final : public GuestMemory {
 public:
  NativeMemory();

  unsigned PointerSize() const override { return 8; }
  void Read(GuestAddr address, void *out, std::size_t size) override;
  void Write(GuestAddr address, const void *in, std::size_t size) override;
  GuestAddr Allocate(std::size_t size) override;
  void Release(GuestAddr address) override;

  // The mapped segments of a library dlopen returned become guest memory.
  void AddModule(void *library);

 private:
  struct Range {
    GuestAddr base = 0;
    std::uint64_t size = 0;
    bool Holds(GuestAddr address, std::uint64_t length) const {
      return address >= base && address - base <= size && length <= size - (address - base);
    }
  };
  struct Block {
    std::unique_ptr<std::max_align_t[]> storage;
    std::size_t size = 0;
  };

  void Check(const char *verb, GuestAddr address, std::size_t size) const;

  std::map<GuestAddr, Block> blocks_;
  std::vector<Range> moduleRanges_;
  Range stack_;
};

}  // namespace boardsim
