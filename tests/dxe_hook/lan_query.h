// The onboard LAN of the shipped board as the MAC query should find it, and
// helpers to read what the query left in the caller's buffers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/boot/boot.h"

namespace boardsim::testing {

using Mac = std::array<std::uint8_t, 6>;

// The MAC addresses of the controllers behind ports 8, 0x18C, 0x18D, 0x18E.
inline const Mac kPort8Mac = {0x02, 0x4B, 0x52, 0x56, 0x37, 0x01};
inline const Mac kPort18CMac = {0x02, 0x4B, 0x52, 0x56, 0x37, 0x02};
inline const Mac kPort18DMac = {0x02, 0x4B, 0x52, 0x56, 0x37, 0x03};
inline const Mac kPort18EMac = {0x02, 0x4B, 0x52, 0x56, 0x37, 0x04};

// The buses the shipped board's bridges lead to, in port order.
constexpr std::uint8_t kPort8Bus = 2;
constexpr std::uint8_t kPort18CBus = 3;
constexpr std::uint8_t kPort18DBus = 4;
constexpr std::uint8_t kPort18EBus = 5;

// What QueryLanMacs pre-fills the caller's buffers with.
constexpr std::uint8_t kUntouched = 0xA5;
// Buffer: 3 bytes the query must leave alone, then a one-entry list.
constexpr std::size_t kBufferSize = 10;
constexpr std::size_t kFirstListOffset = 3;
// Out: a three-entry list.
constexpr std::size_t kOutSize = 19;

inline std::vector<std::uint8_t> Bytes(const std::vector<std::uint8_t> &all, std::size_t from, std::size_t to) {
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.begin() + static_cast<std::ptrdiff_t>(to)};
}

inline std::vector<std::uint8_t> Untouched(std::size_t count) { return std::vector<std::uint8_t>(count, kUntouched); }

// Caller buffers in the DXE machine's memory, released when done.
class GuestBuffer {
 public:
  GuestBuffer(GuestMemory &memory, std::vector<std::uint8_t> contents)
      : memory_(memory), size_(contents.size()), address_(memory.Allocate(contents.size())) {
    memory_.Write(address_, contents.data(), contents.size());
  }
  ~GuestBuffer() { memory_.Release(address_); }
  GuestBuffer(const GuestBuffer &) = delete;
  GuestBuffer &operator=(const GuestBuffer &) = delete;

  GuestAddr Address() const { return address_; }
  std::vector<std::uint8_t> Contents() const { return memory_.ReadBytes(address_, size_); }

 private:
  GuestMemory &memory_;
  std::size_t size_;
  GuestAddr address_;
};

}  // namespace boardsim::testing
