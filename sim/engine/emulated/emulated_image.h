// The firmware images as a firmware core loads them into an emulated
// machine: BoardDxe (PE32+) copied to an address other than its link base,
// relocated, each section mapped with its own permissions; BoardPei (TE)
// placed at its execute-in-place address in read-only flash.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/engine/emulated/emulated_memory.h"
#include "sim/image/image_contents.h"
#include "sim/image/image_headers.h"

namespace boardsim::emulated {

// An image file, read and parsed once per engine.
struct ImageFile {
  std::string name;  // "BoardDxe", "BoardPei"
  std::filesystem::path path;
  std::vector<std::uint8_t> bytes;
  boardimage::ImageHeaders headers;
  std::vector<boardimage::BaseRelocation> relocations;
};

// Reads and parses an image; throws std::runtime_error naming the file and
// what is wrong (missing, not a PE32+/TE image, wrong machine).
// The parsing half of ReadImageFile, for image.bytes already read: fills the
// headers and relocations; throws boardimage::ImageFormatError.
void ParseImageFile(ImageFile &image, boardimage::ImageFormat format, std::uint16_t machine);
ImageFile ReadImageFile(const std::filesystem::path &path, const std::string &name, boardimage::ImageFormat format,
                        std::uint16_t machine);

// A named part of a loaded image (its headers, a section), for messages.
struct ImagePart {
  GuestAddr start = 0;
  std::uint64_t size = 0;
  std::string name;  // ".text", "headers", "TE header"
};

struct LoadedImage {
  std::string name;
  GuestAddr base = 0;  // the address of relative address 0
  GuestAddr entry = 0;
  std::uint64_t extent = 0;  // bytes from base that belong to the image
  std::vector<ImagePart> parts;
  std::vector<std::pair<GuestAddr, std::uint64_t>> executable;  // ranges of code

  // "BoardDxe+0x1A2 (.text)", if the address lies in the image.
  std::optional<std::string> Describe(GuestAddr address) const;
};

// Loads BoardDxe at loadAddress: headers read-only, each section mapped
// read-only, read-execute or read-write as its flags say (a section both
// writable and executable is refused), base relocations applied for the
// distance from the link base.
LoadedImage LoadDxeImage(const ImageFile &image, EmulatedMemory &memory, GuestAddr loadAddress);

// Places BoardPei's TE file in the flash bytes (already mapped read-only and
// executable) at the address its header says it executes from, and checks
// that every section then lies at its linked address.
LoadedImage LoadPeiImage(const ImageFile &image, EmulatedMemory &memory, GuestAddr flashBase, std::uint64_t flashSize,
                         GuestAddr flashAddress);

}  // namespace boardsim::emulated
