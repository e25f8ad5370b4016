#include "sim/engine/emulated/emulated_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

#include "sim/engine/emulated/emulated_layout.h"

namespace boardsim::emulated {
namespace {

constexpr std::uint64_t kAllocationAlignment = 16;

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

const char *KindName(RegionKind kind) {
  switch (kind) {
    case RegionKind::Ram:
      return "memory";
    case RegionKind::Stack:
      return "the stack";
    case RegionKind::Traps:
      return "the service entry page";
    case RegionKind::Code:
      return "code";
    case RegionKind::Image:
      return "an image";
    case RegionKind::Flash:
      return "read-only flash";
    case RegionKind::Registers:
      return "a register window";
  }
  return "memory";
}

}  // namespace

std::string HexAddress(GuestAddr address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
  return text;
}

HostPages::HostPages(std::uint64_t size) : size_(RoundUp(size, kPageSize)) {
  void *data = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t *>(data);
  // A machine touches a few pages of each region; a transparent huge page
  // would have the kernel clear 2 MiB for each of them.
  madvise(data, size_, MADV_NOHUGEPAGE);
}

HostPages::~HostPages() { munmap(data_, size_); }

EmulatedMemory::EmulatedMemory(uc_engine *uc, unsigned pointerSize, std::function<std::string(GuestAddr)> describe)
    : uc_(uc), pointerSize_(pointerSize), describe_(std::move(describe)), heapNext_(kHeapBase) {
  Map(kHeapBase, kHeapSize, UC_PROT_READ | UC_PROT_WRITE, RegionKind::Ram, NewHostPages(kHeapSize));
}

std::uint8_t *EmulatedMemory::NewHostPages(std::uint64_t size) {
  pages_.push_back(std::make_unique<HostPages>(size));
  return pages_.back()->Data();
}

bool EmulatedMemory::Overlaps(GuestAddr base, std::uint64_t size) const {
  for (const auto &[start, region] : regions_)
    if (base < region.base + region.size && region.base < base + size) return true;
  return false;
}

void EmulatedMemory::Map(GuestAddr base, std::uint64_t size, std::uint32_t protection, RegionKind kind,
                         std::uint8_t *host) {
  if (base % kPageSize != 0 || size % kPageSize != 0 || size == 0)
    throw std::logic_error("mapping " + HexAddress(base) + " (" + std::to_string(size) + " bytes) is not page aligned");
  if (Overlaps(base, size))
    throw std::logic_error("mapping " + HexAddress(base) + " (" + std::to_string(size) +
                           " bytes) overlaps memory already mapped");
  const uc_err error = uc_mem_map_ptr(uc_, base, size, protection, host);
  if (error != UC_ERR_OK)
    throw std::runtime_error("the CPU emulator cannot map " + HexAddress(base) + " (" + std::to_string(size) +
                             " bytes): " + uc_strerror(error));
  regions_[base] = MappedRegion{base, size, protection, kind, host};
}

const MappedRegion *EmulatedMemory::RegionAt(GuestAddr address) const {
  auto next = regions_.upper_bound(address);
  if (next == regions_.begin()) return nullptr;
  const MappedRegion &region = std::prev(next)->second;
  return region.Contains(address) ? &region : nullptr;
}

std::uint8_t *EmulatedMemory::HostBytes(GuestAddr address, std::uint64_t size) const {
  const MappedRegion *region = RegionAt(address);
  if (region == nullptr || size > region->size - (address - region->base)) return nullptr;
  return region->host + (address - region->base);
}

void EmulatedMemory::ForEachPiece(
    GuestAddr address, std::size_t size, Access access,
    const std::function<void(std::uint8_t *host, std::size_t offset, std::size_t length)> &piece) {
  const char *verb = access == Access::Read ? "read" : "write";
  if (address == 0 && size != 0) throw GuestFault(std::string(verb) + " through a NULL pointer");
  // Models reach guest memory at every service call: the message is made
  // only for an access that fails.
  const auto fault = [&](GuestAddr at, const std::string &why) {
    return GuestFault(std::string(verb) + " of " + std::to_string(size) + " bytes at " + HexAddress(address) + ": " +
                      describe_(at) + why);
  };
  std::size_t done = 0;
  while (done < size) {
    const GuestAddr at = address + done;
    const MappedRegion *region = RegionAt(at);
    if (region == nullptr) throw fault(at, " is not mapped");
    if (region->kind == RegionKind::Registers) throw fault(at, " lies in a register window");
    const std::uint32_t needed = access == Access::Read ? UC_PROT_READ : UC_PROT_WRITE;
    if ((region->protection & needed) == 0)
      throw fault(at, std::string(" is ") + KindName(region->kind) + ", not " +
                          (access == Access::Read ? "readable" : "writable"));
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(size - done, region->size - (at - region->base)));
    piece(region->host + (at - region->base), done, length);
    done += length;
  }
}

void EmulatedMemory::Read(GuestAddr address, void *out, std::size_t size) {
  auto *bytes = static_cast<std::uint8_t *>(out);
  ForEachPiece(address, size, Access::Read, [&](std::uint8_t *host, std::size_t offset, std::size_t length) {
    std::memcpy(bytes + offset, host, length);
  });
}

void EmulatedMemory::Write(GuestAddr address, const void *in, std::size_t size) {
  const auto *bytes = static_cast<const std::uint8_t *>(in);
  ForEachPiece(address, size, Access::Write, [&](std::uint8_t *host, std::size_t offset, std::size_t length) {
    std::memcpy(host, bytes + offset, length);
  });
}

GuestAddr EmulatedMemory::Allocate(std::size_t size) {
  // Blocks are never reused within a boot, so a stale pointer to a released
  // block still reads what it held rather than someone else's data.
  const std::uint64_t rounded = RoundUp(size == 0 ? 1 : size, kAllocationAlignment);
  if (rounded > kHeapBase + kHeapSize - heapNext_)
    throw std::runtime_error("emulated machine: the heap (" + std::to_string(kHeapSize) + " bytes) is exhausted");
  const GuestAddr address = heapNext_;
  heapNext_ += rounded;
  return address;
}

// The core models check what is released (ownership, double frees); the
// memory has nothing to give back.
void EmulatedMemory::Release(GuestAddr) {}

void EmulatedMemory::ClearForNextBoot() {
  for (const auto &[base, region] : regions_)
    if (region.kind == RegionKind::Ram || region.kind == RegionKind::Stack || region.kind == RegionKind::Code)
      ClearPages(region.host, region.size);
  heapNext_ = kHeapBase;
}

void EmulatedMemory::ClearPages(std::uint8_t *host, std::uint64_t size) {
  // A boot touches a few pages of each region. Those in memory are cleared
  // where they are, so the next boot finds them without a page fault; any
  // others (never touched, or swapped out) are dropped, to read as zero again.
  const std::uint64_t pages = size / kPageSize;
  residency_.resize(pages);
  if (mincore(host, size, residency_.data()) != 0) std::fill(residency_.begin(), residency_.end(), 0);
  std::uint64_t page = 0;
  while (page < pages) {
    const bool resident = (residency_[page] & 1) != 0;
    std::uint64_t end = page + 1;
    while (end < pages && ((residency_[end] & 1) != 0) == resident) ++end;
    std::uint8_t *start = host + page * kPageSize;
    const std::uint64_t length = (end - page) * kPageSize;
    if (resident)
      std::memset(start, 0, length);
    else if (madvise(start, length, MADV_DONTNEED) != 0)
      throw std::runtime_error("cannot clear the emulated machine's memory");
    page = end;
  }
}

}  // namespace boardsim::emulated
