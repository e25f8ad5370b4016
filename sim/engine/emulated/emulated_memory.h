// The memory of an emulated machine: host pages mapped into the CPU
// emulator, so that the models and the emulated CPU see the same bytes
// without copying. Models reach it through GuestMemory; the machine maps the
// regions (RAM, stack, images, flash, register windows) with their
// protections.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/base/guest_memory.h"

namespace boardsim::emulated {

// What a mapped region is, for the models' access checks and for messages.
enum class RegionKind : std::uint8_t { Ram, Stack, Traps, Code, Image, Flash, Registers };

struct MappedRegion {
  GuestAddr base = 0;
  std::uint64_t size = 0;
  std::uint32_t protection = UC_PROT_NONE;  // UC_PROT_READ / WRITE / EXEC
  RegionKind kind = RegionKind::Ram;
  std::uint8_t *host = nullptr;

  bool Contains(GuestAddr address) const { return address >= base && address - base < size; }
};

// Anonymous host pages, zero-filled, committed only when touched.
class HostPages {
 public:
  explicit HostPages(std::uint64_t size);
  ~HostPages();
  HostPages(const HostPages &) = delete;
  HostPages &operator=(const HostPages &) = delete;
  std::uint8_t *Data() const { return data_; }
  std::uint64_t Size() const { return size_; }

 private:
  std::uint8_t *data_ = nullptr;
  std::uint64_t size_ = 0;
};

class EmulatedMemory final : public GuestMemory {
 public:
  // describe names an address for fault messages ("BoardDxe+0x1a2 (.text)").
  EmulatedMemory(uc_engine *uc, unsigned pointerSize, std::function<std::string(GuestAddr)> describe);

  // Host pages owned by this memory, to back one or more regions.
  std::uint8_t *NewHostPages(std::uint64_t size);
  // Maps [base, base + size) onto host bytes; both page aligned. Throws
  // std::logic_error if the range overlaps a mapped region.
  void Map(GuestAddr base, std::uint64_t size, std::uint32_t protection, RegionKind kind, std::uint8_t *host);
  const MappedRegion *RegionAt(GuestAddr address) const;
  // The host bytes behind [address, address + size) if one region holds
  // them all, whatever its protection; nullptr otherwise. For the machine's
  // own stores (loading images, building stack frames).
  std::uint8_t *HostBytes(GuestAddr address, std::uint64_t size) const;
  // Whether [base, base + size) overlaps any mapped region.
  bool Overlaps(GuestAddr base, std::uint64_t size) const;

  unsigned PointerSize() const override { return pointerSize_; }
  // Models' accesses: a read needs readable memory and a write writable
  // memory (not flash, not an image's code or constants); register windows
  // are reached through the hardware model, never through here. Anything
  // else throws GuestFault saying what the address is.
  void Read(GuestAddr address, void *out, std::size_t size) override;
  void Write(GuestAddr address, const void *in, std::size_t size) override;
  GuestAddr Allocate(std::size_t size) override;
  void Release(GuestAddr address) override;

  // Returns RAM, the stack and scratch code to the zeros they were mapped
  // with, and empties the heap: the memory a machine starts a new boot with.
  // Register windows are the machine's to clear (it sees every access to
  // them); images and flash are their loader's.
  void ClearForNextBoot();

 private:
  enum class Access : std::uint8_t { Read, Write };
  // The regions covering [address, address + size) in order, or a GuestFault.
  void ForEachPiece(GuestAddr address, std::size_t size, Access access,
                    const std::function<void(std::uint8_t *host, std::size_t offset, std::size_t length)> &piece);

  uc_engine *uc_;
  unsigned pointerSize_;
  std::function<std::string(GuestAddr)> describe_;
  std::vector<std::unique_ptr<HostPages>> pages_;
  std::map<GuestAddr, MappedRegion> regions_;  // by base
  void ClearPages(std::uint8_t *host, std::uint64_t size);

  GuestAddr heapNext_;
  std::vector<unsigned char> residency_;  // scratch for ClearPages
};

// "0x00201000": guest addresses in messages.
std::string HexAddress(GuestAddr address);

}  // namespace boardsim::emulated
