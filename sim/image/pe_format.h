// Numbers of the PE/COFF and TE image formats that the image tools read and
// write: signatures, header sizes, field values and flag bits.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace boardimage::pe {

inline constexpr std::uint16_t kDosSignature = 0x5A4D;           // "MZ"
inline constexpr std::uint32_t kDosNewHeaderOffsetField = 0x3C;  // e_lfanew
inline constexpr std::uint32_t kPeSignature = 0x00004550;        // "PE\0\0"
inline constexpr std::uint16_t kTeSignature = 0x5A56;            // "VZ"

inline constexpr std::uint32_t kFileHeaderSize = 20;
inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kTeHeaderSize = 40;
inline constexpr std::uint32_t kDataDirectoryCount = 16;
inline constexpr std::uint32_t kDebugDirectoryEntrySize = 28;
inline constexpr std::uint32_t kBaseRelocationBlockHeaderSize = 8;

inline constexpr std::uint16_t kMagicPe32 = 0x10B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x20B;

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineX64 = 0x8664;

inline constexpr std::uint16_t kSubsystemEfiApplication = 10;
inline constexpr std::uint16_t kSubsystemEfiBootServiceDriver = 11;

// File header Characteristics.
inline constexpr std::uint16_t kFileRelocsStripped = 0x0001;
inline constexpr std::uint16_t kFileExecutableImage = 0x0002;

// Optional header DllCharacteristics.
inline constexpr std::uint16_t kDllDynamicBase = 0x0040;
inline constexpr std::uint16_t kDllNxCompat = 0x0100;

// Section Characteristics.
inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionUninitializedData = 0x00000080;
inline constexpr std::uint32_t kSectionDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionExecute = 0x20000000;
inline constexpr std::uint32_t kSectionRead = 0x40000000;
inline constexpr std::uint32_t kSectionWrite = 0x80000000;

// Data directory indices.
inline constexpr std::size_t kDirectoryImport = 1;
inline constexpr std::size_t kDirectoryBaseRelocation = 5;
inline constexpr std::size_t kDirectoryDebug = 6;

inline constexpr std::array<std::string_view, kDataDirectoryCount> kDirectoryNames = {"export table",
                                                                                      "import table",
                                                                                      "resource table",
                                                                                      "exception table",
                                                                                      "certificate table",
                                                                                      "base relocation table",
                                                                                      "debug directory",
                                                                                      "architecture data",
                                                                                      "global pointer",
                                                                                      "TLS table",
                                                                                      "load configuration table",
                                                                                      "bound import table",
                                                                                      "import address table",
                                                                                      "delay import table",
                                                                                      "CLR runtime header",
                                                                                      "reserved directory"};

// Base relocation types (upper 4 bits of each entry).
inline constexpr std::uint8_t kRelocationAbsolute = 0;
inline constexpr std::uint8_t kRelocationHighLow = 3;
inline constexpr std::uint8_t kRelocationDir64 = 10;

// Debug directory entry types.
inline constexpr std::uint32_t kDebugCodeView = 2;
inline constexpr std::uint32_t kDebugRepro = 16;

}  // namespace boardimage::pe
