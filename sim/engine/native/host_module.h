// A host-built module loaded once and started afresh for every boot: its
// writable data is put back as the loader left it, so each boot's module
// starts with the globals a fresh load would give it, without the cost of
// loading and relocating the library again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace boardsim {

class HostModule {
 public:
  // Throws std::runtime_error naming the file if it cannot be loaded.
  explicit HostModule(std::filesystem::path path);
  ~HostModule();
  HostModule(const HostModule &) = delete;
  HostModule &operator=(const HostModule &) = delete;

  // Every writable byte of the module as it was right after loading.
  void Restart();
  // Throws std::runtime_error if the module has no such symbol.
  void *Symbol(const std::string &name) const;
  // The dlopen handle, for the guest memory that admits the module's image.
  void *Handle() const { return library_; }

 private:
  struct Snapshot {
    std::uint8_t *address;
    std::vector<std::uint8_t> bytes;
  };

  std::filesystem::path path_;
  void *library_ = nullptr;
  std::vector<Snapshot> writable_;
};

}  // namespace boardsim
