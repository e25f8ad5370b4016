#include "sim/engine/native/host_module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace boardsim {
namespace {

struct Search {
  ElfW(Addr) base;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> writable;  // [begin, end)
};

int CollectWritable(dl_phdr_info *info, std::size_t, void *data) {
  auto *search = static_cast<Search *>(data);
  if (info->dlpi_addr != search->base) return 0;
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  // The loader makes the relocated part read-only once it is done (up to the
  // page holding the end of that part); what follows stays writable.
  std::uintptr_t protectedEnd = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i)
    if (info->dlpi_phdr[i].p_type == PT_GNU_RELRO)
      protectedEnd = (info->dlpi_addr + info->dlpi_phdr[i].p_vaddr + info->dlpi_phdr[i].p_memsz) / page * page;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W) == 0) continue;
    std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    const std::uintptr_t end = begin + segment.p_memsz;
    if (protectedEnd > begin) begin = std::min(protectedEnd, end);
    if (begin < end) search->writable.emplace_back(begin, end);
  }
  return 1;
}

// The writable segment holds, in a sanitizer build, the redzones around the
// module's globals: copied without the checks that would take the copy for
// an overflow (a few KiB with the redzones and the coverage counters), a
// word at a time where both sides are aligned.
[[clang::no_sanitize("address")]] void CopyBytes(std::uint8_t *to, const std::uint8_t *from, std::size_t size) {
  std::size_t i = 0;
  constexpr std::size_t kWord = sizeof(std::uint64_t);
  if (reinterpret_cast<std::uintptr_t>(to) % kWord == 0 && reinterpret_cast<std::uintptr_t>(from) % kWord == 0) {
    const volatile auto *source = reinterpret_cast<const volatile std::uint64_t *>(from);
    volatile auto *target = reinterpret_cast<volatile std::uint64_t *>(to);
    for (; i + kWord <= size; i += kWord) target[i / kWord] = source[i / kWord];
  }
  const volatile std::uint8_t *source = from;
  volatile std::uint8_t *target = to;
  for (; i < size; ++i) target[i] = source[i];
}

}  // namespace

HostModule::HostModule(std::filesystem::path path) : path_(std::move(path)) {
  // Never unmapped, even when the engine goes: the fuzz build's coverage
  // counters and PC table in the module are registered with libFuzzer for
  // the whole process, and the sanitizers may still report on its code.
  library_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library_ == nullptr) throw std::runtime_error("cannot load " + path_.string() + ": " + dlerror());
  link_map *map = nullptr;
  if (dlinfo(library_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
    dlclose(library_);
    throw std::runtime_error("cannot find where " + path_.string() + " was loaded");
  }
  // The library stays loaded after an earlier engine's use: its writable
  // data is then that boot's, and the copy taken at the first load is the
  // one every later engine restarts from.
  static std::map<void *, std::vector<Snapshot>> firstLoads;
  if (const auto found = firstLoads.find(library_); found != firstLoads.end()) {
    writable_ = found->second;
    return;
  }
  Search search{map->l_addr, {}};
  dl_iterate_phdr(CollectWritable, &search);
  for (const auto &[begin, end] : search.writable) {
    auto *address = reinterpret_cast<std::uint8_t *>(begin);
    Snapshot snapshot{address, std::vector<std::uint8_t>(end - begin)};
    CopyBytes(snapshot.bytes.data(), address, snapshot.bytes.size());
    writable_.push_back(std::move(snapshot));
  }
  firstLoads.emplace(library_, writable_);
}

HostModule::~HostModule() { dlclose(library_); }

void HostModule::Restart() {
  for (const auto &snapshot : writable_) CopyBytes(snapshot.address, snapshot.bytes.data(), snapshot.bytes.size());
}

void *HostModule::Symbol(const std::string &name) const {
  void *symbol = dlsym(library_, name.c_str());
  if (symbol == nullptr) throw std::runtime_error(path_.string() + " has no entry point " + name);
  return symbol;
}

}  // namespace boardsim
