#include "sim/engine/native/native_memory.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "sim/base/board_text.h"

namespace boardsim {
namespace {

// The stack of the calling thread, where the module's locals live. Asked
// once per thread: for the main thread the C library reads it from
// /proc/self/maps, which would cost more than a whole boot.
void ThreadStack(GuestAddr &base, std::uint64_t &size) {
  thread_local const std::pair<GuestAddr, std::uint64_t> stack = [] {
    pthread_attr_t attributes;
    void *low = nullptr;
    std::size_t length = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
      throw std::runtime_error("cannot find the thread's stack");
    pthread_attr_getstack(&attributes, &low, &length);
    pthread_attr_destroy(&attributes);
    return std::pair{reinterpret_cast<GuestAddr>(low), std::uint64_t{length}};
  }();
  base = stack.first;
  size = stack.second;
}

struct ModuleSearch {
  ElfW(Addr) loadAddress = 0;
  std::vector<std::pair<GuestAddr, std::uint64_t>> segments;
};

int CollectSegments(dl_phdr_info *info, std::size_t, void *data) {
  auto &search = *static_cast<ModuleSearch *>(data);
  if (info->dlpi_addr != search.loadAddress) return 0;
  for (unsigned i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &header = info->dlpi_phdr[i];
    if (header.p_type == PT_LOAD) search.segments.emplace_back(info->dlpi_addr + header.p_vaddr, header.p_memsz);
  }
  return 1;
}

}  // namespace

NativeMemory::NativeMemory() { ThreadStack(stack_.base, stack_.size); }

void NativeMemory::AddModule(void *library) {
  link_map *map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    throw std::runtime_error(std::string("cannot find where the module is loaded: ") + dlerror());
  ModuleSearch search{map->l_addr, {}};
  dl_iterate_phdr(CollectSegments, &search);
  if (search.segments.empty()) throw std::runtime_error(std::string("no loaded segments of ") + map->l_name);
  for (const auto &[base, size] : search.segments) moduleRanges_.push_back({base, size});
}

void NativeMemory::Check(const char *verb, GuestAddr address, std::size_t size) const {
  if (size == 0) return;
  if (address == 0) throw GuestFault(std::string(verb) + " through a NULL pointer");
  if (stack_.Holds(address, size)) return;
  for (const Range &module : moduleRanges_)
    if (module.Holds(address, size)) return;
  // Every boot makes thousands of accesses: the message is built only for a fault.
  const auto what = [&] { return std::string(verb) + " of " + std::to_string(size) + " bytes at " + Hex(address, 8); };
  auto next = blocks_.upper_bound(address);
  if (next != blocks_.begin()) {
    const auto &[base, block] = *std::prev(next);
    if (Range{base, block.size}.Holds(address, size)) return;
    if (address - base < block.size)
      throw GuestFault(what() + ": runs past the end of a " + std::to_string(block.size) + "-byte block");
  }
  throw GuestFault(what() + ": " + Hex(address, 8) + " is not mapped");
}

void NativeMemory::Read(GuestAddr address, void *out, std::size_t size) {
  Check("read", address, size);
  std::memcpy(out, reinterpret_cast<const void *>(address), size);
}

void NativeMemory::Write(GuestAddr address, const void *in, std::size_t size) {
  Check("write", address, size);
  std::memcpy(reinterpret_cast<void *>(address), in, size);
}

GuestAddr NativeMemory::Allocate(std::size_t size) {
  Block block{std::make_unique<std::max_align_t[]>((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t)),
              size};
  const auto address = reinterpret_cast<GuestAddr>(block.storage.get());
  blocks_.emplace(address, std::move(block));
  return address;
}

void NativeMemory::Release(GuestAddr address) { blocks_.erase(address); }

}  // namespace boardsim
