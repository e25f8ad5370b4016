#include "tools/fv/sections.h"

#include "sim/image/byte_reader.h"
#include "tools/fv/ffs_format.h"
#include "tools/fv/fv_error.h"

namespace boardfv {

using boardimage::Hex;

namespace {

// Appends the common header for a section whose body is `bodySize` bytes.
void AppendSectionHeader(std::vector<std::uint8_t> &list, std::uint8_t type, std::size_t bodySize) {
  list.resize(ffs::AlignUp(static_cast<std::uint32_t>(list.size()), ffs::kSectionAlignment), 0);
  std::size_t size = bodySize + ffs::kSectionHeaderSize;
  const bool large = size >= ffs::kLargeSectionMark;
  if (large) size = bodySize + ffs::kLargeSectionHeaderSize;
  const std::uint32_t small = large ? ffs::kLargeSectionMark : static_cast<std::uint32_t>(size);
  list.insert(list.end(), {static_cast<std::uint8_t>(small), static_cast<std::uint8_t>(small >> 8),
                           static_cast<std::uint8_t>(small >> 16), type});
  if (large) {
    for (int shift = 0; shift < 32; shift += 8) list.push_back(static_cast<std::uint8_t>(size >> shift));
  }
}

}  // namespace

std::vector<SectionView> ParseSections(std::span<const std::uint8_t> data, std::string_view where) {
  const boardimage::ByteReader reader(data);
  std::vector<SectionView> sections;
  std::uint32_t offset = 0;
  while (data.size() - offset >= ffs::kSectionAlignment) {
    const std::string at = std::string(where) + ": section at offset " + Hex(offset);
    SectionView section;
    section.offset = offset;
    section.size = reader.U32(offset, at) & 0xFFFFFF;
    section.type = reader.U8(offset + 3, at);
    section.headerSize = ffs::kSectionHeaderSize;
    if (section.size == ffs::kLargeSectionMark) {
      if (data.size() - offset < ffs::kLargeSectionHeaderSize) throw FvError(at + ": large section header is cut off");
      section.size = reader.U32(offset + 4, at);
      section.headerSize = ffs::kLargeSectionHeaderSize;
    }
    if (section.size < section.headerSize || section.size > data.size() - offset) {
      throw FvError(at + ": size " + Hex(section.size) + " does not fit the " + Hex(data.size() - offset) +
                    " bytes that remain");
    }
    section.body = data.subspan(offset + section.headerSize, section.size - section.headerSize);
    sections.push_back(section);
    offset = ffs::AlignUp(offset + section.size, ffs::kSectionAlignment);
    if (offset > data.size()) break;
  }
  return sections;
}

void AppendSection(std::vector<std::uint8_t> &list, std::uint8_t type, std::span<const std::uint8_t> body) {
  AppendSectionHeader(list, type, body.size());
  list.insert(list.end(), body.begin(), body.end());
}

void AppendGuidDefinedSection(std::vector<std::uint8_t> &list, const Guid &definition, std::uint16_t attributes,
                              std::span<const std::uint8_t> data) {
  const std::size_t bodySize = ffs::kGuidDefinedFieldsSize + data.size();
  AppendSectionHeader(list, ffs::kSectionGuidDefined, bodySize);
  const bool large = bodySize + ffs::kSectionHeaderSize >= ffs::kLargeSectionMark;
  const auto dataOffset = static_cast<std::uint16_t>((large ? ffs::kLargeSectionHeaderSize : ffs::kSectionHeaderSize) +
                                                     ffs::kGuidDefinedFieldsSize);
  list.insert(list.end(), definition.bytes.begin(), definition.bytes.end());
  list.insert(list.end(), {static_cast<std::uint8_t>(dataOffset), static_cast<std::uint8_t>(dataOffset >> 8),
                           static_cast<std::uint8_t>(attributes), static_cast<std::uint8_t>(attributes >> 8)});
  list.insert(list.end(), data.begin(), data.end());
}

GuidDefinedView ReadGuidDefined(const SectionView &section, std::string_view where) {
  const boardimage::ByteReader reader(section.body);
  const std::string at = std::string(where) + ": GUID-defined section at offset " + Hex(section.offset);
  GuidDefinedView view;
  view.definition = Guid::Read(reader.Bytes(0, 16, at));
  const std::uint16_t dataOffset = reader.U16(16, at);
  view.attributes = reader.U16(18, at);
  if (dataOffset < section.headerSize + ffs::kGuidDefinedFieldsSize || dataOffset > section.size) {
    throw FvError(at + ": data offset " + Hex(dataOffset) + " lies outside the section (" + Hex(section.size) +
                  " bytes)");
  }
  view.data = section.body.subspan(dataOffset - section.headerSize);
  return view;
}

std::vector<std::uint8_t> UserInterfaceBody(std::string_view name) {
  std::vector<std::uint8_t> body;
  for (const char c : name) body.insert(body.end(), {static_cast<std::uint8_t>(c), 0});
  body.insert(body.end(), {0, 0});
  return body;
}

std::vector<std::uint8_t> DepexPushGuid(const Guid &guid) {
  std::vector<std::uint8_t> depex{ffs::kDepexPush};
  depex.insert(depex.end(), guid.bytes.begin(), guid.bytes.end());
  depex.push_back(ffs::kDepexEnd);
  return depex;
}

std::vector<std::uint8_t> DepexTrue() { return {ffs::kDepexTrue, ffs::kDepexEnd}; }

}  // namespace boardfv
