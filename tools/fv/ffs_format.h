// Numbers of the firmware file system that the packer reads and writes:
// volume header fields, file and section types, attribute and state bits,
// dependency expression opcodes, and the GUIDs that name formats.
#pragma once

#include <cstdint>

#include "tools/fv/guid.h"

namespace boardfv::ffs {

// Files and sections lie on boundaries counted from their container's start.
constexpr std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}
// The same in 64 bits, for offsets read from untrusted headers.
constexpr std::uint64_t AlignUp64(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Volume header (56 bytes, then the block map).
inline constexpr std::uint32_t kVolumeSignature = 0x4856465F;  // "_FVH"
inline constexpr std::uint32_t kVolumeHeaderSize = 56;
inline constexpr std::uint32_t kVolumeFileSystemGuidOffset = 16;
inline constexpr std::uint32_t kVolumeLengthOffset = 32;
inline constexpr std::uint32_t kVolumeSignatureOffset = 40;
inline constexpr std::uint32_t kVolumeAttributesOffset = 44;
inline constexpr std::uint32_t kVolumeHeaderLengthOffset = 48;
inline constexpr std::uint32_t kVolumeChecksumOffset = 50;
inline constexpr std::uint32_t kVolumeExtHeaderOffsetOffset = 52;
inline constexpr std::uint32_t kVolumeExtHeaderSizeOffset = 16;  // after the volume's name GUID
inline constexpr std::uint32_t kVolumeErasePolarity = 0x00000800;
inline constexpr std::uint32_t kVolumeAlignmentMask = 0x001F0000;  // log2 of the volume's alignment
inline constexpr unsigned kVolumeAlignmentShift = 16;

inline constexpr Guid kFileSystem2Guid = Guid::FromText("8C8CE578-8A3D-4F1C-9935-896185C32DD3");
inline constexpr Guid kFileSystem3Guid = Guid::FromText("5473C07A-3DCB-4DCA-BD6F-1E9689E7349A");

// Files lie on 8-byte boundaries from the start of their volume.
inline constexpr std::uint32_t kFileAlignment = 8;
inline constexpr std::uint32_t kFileHeaderSize = 24;
inline constexpr std::uint32_t kLargeFileHeaderSize = 32;
inline constexpr std::uint32_t kMaxSmallSize = 0xFFFFFF;
inline constexpr std::uint32_t kFileHeaderChecksumOffset = 16;
inline constexpr std::uint32_t kFileDataChecksumOffset = 17;
inline constexpr std::uint32_t kFileTypeOffset = 18;
inline constexpr std::uint32_t kFileAttributesOffset = 19;
inline constexpr std::uint32_t kFileSizeOffset = 20;
inline constexpr std::uint32_t kFileStateOffset = 23;
inline constexpr std::uint32_t kFileExtendedSizeOffset = 24;

inline constexpr std::uint8_t kFileTypeRaw = 0x01;  // data without sections
inline constexpr std::uint8_t kFileTypeFreeform = 0x02;
inline constexpr std::uint8_t kFileTypePeim = 0x06;
inline constexpr std::uint8_t kFileTypeDriver = 0x07;
inline constexpr std::uint8_t kFileTypeVolumeImage = 0x0B;
inline constexpr std::uint8_t kFileTypePad = 0xF0;

inline constexpr std::uint8_t kAttributeLargeFile = 0x01;
inline constexpr std::uint8_t kAttributeDataAlignment2 = 0x02;
inline constexpr std::uint8_t kAttributeDataAlignmentMask = 0x38;
inline constexpr unsigned kAttributeDataAlignmentShift = 3;
inline constexpr std::uint8_t kAttributeChecksum = 0x40;
// The data checksum of a file without kAttributeChecksum.
inline constexpr std::uint8_t kFixedDataChecksum = 0xAA;

// The alignments the data alignment field can express, by its value; with
// kAttributeDataAlignment2 set the field selects from the second table.
inline constexpr std::uint32_t kDataAlignments[8] = {1, 16, 128, 512, 1024, 4096, 32768, 65536};
inline constexpr std::uint32_t kDataAlignments2[8] = {0x20000,  0x40000,  0x80000,  0x100000,
                                                      0x200000, 0x400000, 0x800000, 0x1000000};

// File state bits as written with erase polarity 0; with polarity 1 every
// bit is stored inverted.
inline constexpr std::uint8_t kStateHeaderConstruction = 0x01;
inline constexpr std::uint8_t kStateHeaderValid = 0x02;
inline constexpr std::uint8_t kStateDataValid = 0x04;
inline constexpr std::uint8_t kStateMarkedForUpdate = 0x08;
inline constexpr std::uint8_t kStateDeleted = 0x10;
inline constexpr std::uint8_t kStateHeaderInvalid = 0x20;
inline constexpr std::uint8_t kStateComplete = kStateHeaderConstruction | kStateHeaderValid | kStateDataValid;

// Sections lie on 4-byte boundaries from the start of their file's data.
inline constexpr std::uint32_t kSectionAlignment = 4;
inline constexpr std::uint32_t kSectionHeaderSize = 4;
inline constexpr std::uint32_t kLargeSectionHeaderSize = 8;
inline constexpr std::uint32_t kLargeSectionMark = 0xFFFFFF;

inline constexpr std::uint8_t kSectionGuidDefined = 0x02;
inline constexpr std::uint8_t kSectionPe32 = 0x10;
inline constexpr std::uint8_t kSectionTe = 0x12;
inline constexpr std::uint8_t kSectionDxeDepex = 0x13;
inline constexpr std::uint8_t kSectionUserInterface = 0x15;
inline constexpr std::uint8_t kSectionVolumeImage = 0x17;
inline constexpr std::uint8_t kSectionRaw = 0x19;
inline constexpr std::uint8_t kSectionPeiDepex = 0x1B;

// GUID-defined section: after the common header, the definition GUID, the
// offset of the data from the section's start, and the attributes.
inline constexpr std::uint32_t kGuidDefinedFieldsSize = 20;
inline constexpr std::uint16_t kGuidedProcessingRequired = 0x0001;
inline constexpr Guid kLzmaSectionGuid = Guid::FromText("EE4E5898-3914-4259-9D6E-DC7BD79403CF");

// Dependency expression opcodes.
inline constexpr std::uint8_t kDepexPush = 0x02;
inline constexpr std::uint8_t kDepexTrue = 0x06;
inline constexpr std::uint8_t kDepexEnd = 0x08;

}  // namespace boardfv::ffs
