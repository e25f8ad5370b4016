#include "sim/engine/emulated/emulated_image.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/engine/emulated/emulated_layout.h"
#include "sim/image/byte_reader.h"
#include "sim/image/pe_format.h"
#include "tools/files/input_file.h"

namespace boardsim::emulated {
namespace {

namespace pe = boardimage::pe;
using boardimage::Hex;

std::uint64_t PageRoundUp(std::uint64_t value) { return (value + kPageSize - 1) / kPageSize * kPageSize; }

std::uint32_t ProtectionOf(const boardimage::Section &section) {
  std::uint32_t protection = UC_PROT_NONE;
  if (section.Readable()) protection |= UC_PROT_READ;
  if (section.Writable()) protection |= UC_PROT_WRITE;
  if (section.Executable()) protection |= UC_PROT_EXEC;
  return protection;
}

// Adds the load distance to each relocated field in the loaded bytes.
void ApplyRelocations(const ImageFile &image, std::uint8_t *loaded, std::uint64_t size, std::uint64_t delta) {
  for (const auto &relocation : image.relocations) {
    const unsigned width = relocation.type == pe::kRelocationDir64     ? 8
                           : relocation.type == pe::kRelocationHighLow ? 4
                                                                       : 0;
    const std::string where = image.path.string() + ": base relocation at RVA " + Hex(relocation.rva);
    if (width == 0)
      throw std::runtime_error(where + " has type " + std::to_string(relocation.type) +
                               ", which a loader of this machine does not apply");
    if (std::uint64_t{relocation.rva} + width > size) throw std::runtime_error(where + " lies outside the image");
    if (width == 8) {
      std::uint64_t value = 0;
      std::memcpy(&value, loaded + relocation.rva, 8);
      value += delta;
      std::memcpy(loaded + relocation.rva, &value, 8);
    } else {
      std::uint32_t value = 0;
      std::memcpy(&value, loaded + relocation.rva, 4);
      value = static_cast<std::uint32_t>(value + delta);
      std::memcpy(loaded + relocation.rva, &value, 4);
    }
  }
}

// Each section is mapped on pages of its own, after the headers' pages: a
// layout where two of them share a page cannot be loaded.
void CheckDxeLayout(const ImageFile &image, std::uint64_t size) {
  const auto &headers = image.headers;
  const std::string file = image.path.string();
  if (headers.sizeOfHeaders == 0)
    throw std::runtime_error(file +
                             ": optional header SizeOfHeaders is 0; the headers must take at least the bytes "
                             "up to the end of the section table");
  struct Pages {
    std::string name;
    std::uint64_t start, end;
  };
  std::vector<Pages> taken = {{"the headers", 0, PageRoundUp(headers.sizeOfHeaders)}};
  for (const auto &section : headers.sections) {
    if (section.virtualAddress % kPageSize != 0 || std::uint64_t{section.virtualAddress} + section.virtualSize > size)
      throw std::runtime_error(file + ": section " + section.name + " at RVA " + Hex(section.virtualAddress) +
                               " is not page aligned inside the image");
    if (section.virtualSize == 0) continue;
    const Pages pages{"section " + section.name, section.virtualAddress,
                      section.virtualAddress + PageRoundUp(section.virtualSize)};
    for (const auto &other : taken)
      if (pages.start < other.end && other.start < pages.end)
        throw std::runtime_error(file + ": section " + section.name + " (RVA " + Hex(pages.start) + " to " +
                                 Hex(pages.end - 1) + ") overlaps " + other.name + " (RVA " + Hex(other.start) +
                                 " to " + Hex(other.end - 1) + ")");
    taken.push_back(pages);
  }
}

}  // namespace

void ParseImageFile(ImageFile &image, boardimage::ImageFormat format, std::uint16_t machine) {
  image.headers = boardimage::ParseImage(image.bytes);
  if (image.headers.format != format)
    throw boardimage::ImageFormatError("it is a " + std::string(boardimage::FormatName(image.headers.format)) +
                                       " image, not " + std::string(boardimage::FormatName(format)));
  if (image.headers.machine != machine)
    throw boardimage::ImageFormatError("it is built for " +
                                       std::string(boardimage::MachineName(image.headers.machine)) + ", not " +
                                       std::string(boardimage::MachineName(machine)));
  if (image.headers.Directory(pe::kDirectoryBaseRelocation).size != 0)
    image.relocations = boardimage::ReadBaseRelocations(image.headers, image.bytes);
}

ImageFile ReadImageFile(const std::filesystem::path &path, const std::string &name, boardimage::ImageFormat format,
                        std::uint16_t machine) {
  ImageFile image;
  image.name = name;
  image.path = path;
  if (!std::filesystem::exists(path))
    throw std::runtime_error("emulated engine: " + path.string() +
                             " does not exist (build the firmware images, or pass the folder holding them)");
  image.bytes = boardfiles::ReadInputFile(path.string());
  try {
    ParseImageFile(image, format, machine);
  } catch (const boardimage::ImageFormatError &error) {
    throw std::runtime_error("emulated engine: " + path.string() + ": " + error.what());
  }
  return image;
}

std::optional<std::string> LoadedImage::Describe(GuestAddr address) const {
  if (address < base || address - base >= extent) return std::nullopt;
  std::string part = "between sections";
  for (const auto &candidate : parts)
    if (address >= candidate.start && address - candidate.start < candidate.size) part = candidate.name;
  return name + "+" + Hex(address - base) + " (" + part + ")";
}

LoadedImage LoadDxeImage(const ImageFile &image, EmulatedMemory &memory, GuestAddr loadAddress) {
  const auto &headers = image.headers;
  const std::string file = image.path.string();
  if (headers.sectionAlignment != kPageSize)
    throw std::runtime_error(file + ": section alignment " + Hex(headers.sectionAlignment) +
                             "; the loader maps each section with its own page permissions, so it needs " +
                             Hex(kPageSize));
  const std::uint64_t size = PageRoundUp(headers.sizeOfImage);
  if (size == 0) throw std::runtime_error(file + ": SizeOfImage is 0; the image must hold at least its headers");
  if (size > kDxeImageRoom || headers.sizeOfHeaders > headers.sizeOfImage)
    throw std::runtime_error(file + ": SizeOfImage " + Hex(headers.sizeOfImage) + " does not fit the " +
                             Hex(kDxeImageRoom) + " bytes reserved for the driver");

  CheckDxeLayout(image, size);

  std::uint8_t *loaded = memory.NewHostPages(size);
  std::memcpy(loaded, image.bytes.data(), std::min<std::size_t>(headers.sizeOfHeaders, image.bytes.size()));
  for (const auto &section : headers.sections) {
    if (section.Writable() && section.Executable())
      throw std::runtime_error(file + ": section " + section.name + " is both writable and executable");
    const std::size_t copied = std::min(section.rawSize, section.virtualSize);
    if (copied == 0) continue;  // no file data: its raw offset may point anywhere
    std::memcpy(loaded + section.virtualAddress, image.bytes.data() + headers.FileOffsetOfSection(section), copied);
  }
  ApplyRelocations(image, loaded, size, loadAddress - headers.imageBase);

  LoadedImage result;
  result.name = image.name;
  result.base = loadAddress;
  result.entry = loadAddress + headers.entryPoint;
  result.extent = size;
  const std::uint64_t headerPages = PageRoundUp(headers.sizeOfHeaders);
  memory.Map(loadAddress, headerPages, UC_PROT_READ, RegionKind::Image, loaded);
  result.parts.push_back({loadAddress, headers.sizeOfHeaders, "headers"});
  for (const auto &section : headers.sections) {
    if (section.virtualSize == 0) continue;
    const GuestAddr start = loadAddress + section.virtualAddress;
    const std::uint32_t protection = ProtectionOf(section);
    memory.Map(start, PageRoundUp(section.virtualSize), protection, RegionKind::Image, loaded + section.virtualAddress);
    result.parts.push_back({start, section.virtualSize, section.name});
    if ((protection & UC_PROT_EXEC) != 0) result.executable.emplace_back(start, section.virtualSize);
  }
  return result;
}

LoadedImage LoadPeiImage(const ImageFile &image, EmulatedMemory &memory, GuestAddr flashBase, std::uint64_t flashSize,
                         GuestAddr flashAddress) {
  const auto &headers = image.headers;
  const std::string file = image.path.string();
  // The TE header takes the place of the last bytes of the stripped headers,
  // so the image executes from ImageBase + StrippedSize - 40.
  const GuestAddr place = headers.imageBase + headers.strippedSize - pe::kTeHeaderSize;
  if (place != flashAddress)
    throw std::runtime_error(file + ": its TE header says it executes from " + Hex(place) +
                             ", but the board's flash holds BoardPei at " + Hex(flashAddress));
  if (place < flashBase || place - flashBase + image.bytes.size() > flashSize)
    throw std::runtime_error(file + ": " + std::to_string(image.bytes.size()) + " bytes at " + Hex(place) +
                             " do not fit the boot flash");
  std::uint8_t *flash = memory.HostBytes(flashBase, flashSize);
  if (flash == nullptr) throw std::logic_error("the boot flash is not mapped");
  std::memcpy(flash + (place - flashBase), image.bytes.data(), image.bytes.size());

  LoadedImage result;
  result.name = image.name;
  result.base = headers.imageBase;
  result.entry = headers.imageBase + headers.entryPoint;
  result.extent = place + image.bytes.size() - headers.imageBase;
  result.parts.push_back({place, pe::kTeHeaderSize + headers.sections.size() * pe::kSectionHeaderSize, "TE header"});
  for (const auto &section : headers.sections) {
    const GuestAddr linked = headers.imageBase + section.virtualAddress;
    const GuestAddr inFlash = place + headers.FileOffsetOfSection(section);
    if (linked != inFlash)
      throw std::runtime_error(file + ": section " + section.name + " is linked at " + Hex(linked) + " but lies at " +
                               Hex(inFlash) + " in flash; the image cannot execute in place");
    result.parts.push_back({linked, section.virtualSize, section.name});
    if (section.Executable()) result.executable.emplace_back(linked, section.virtualSize);
  }
  return result;
}

}  // namespace boardsim::emulated
