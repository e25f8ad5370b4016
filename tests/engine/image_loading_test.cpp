// The images are loaded as a firmware core loads them: BoardDxe away from
// its link base with every relocated field moved by the same distance and
// each section under its own protection; BoardPei byte for byte at its
// execute-in-place address in flash.
#include <array>
#include <cstring>

#include "sim/board/board_config.h"
#include "sim/boot/boot.h"
#include "sim/core/known_guids.h"
#include "sim/engine/emulated/emulated_engine.h"
#include "sim/engine/emulated/emulated_layout.h"
#include "sim/engine/engines.h"
#include "sim/image/firmware_layout.h"
#include "sim/image/pe_format.h"
#include "tests/engine/engine_fixture.h"
#include "uefi/boot_services.h"

namespace boardsim::testing {
namespace {

namespace pe = boardimage::pe;

TEST_F(EngineTest, DriverLoadsAwayFromItsLinkBaseWithEveryRelocatedFieldMoved) {
  Start(Phase::Dxe);
  const GuestAddr entry = Machine().LoadModule();
  const auto &file = *ImageOf(Phase::Dxe);
  const GuestAddr base = Machine().Image()->base;
  ASSERT_NE(base, file.headers.imageBase);
  EXPECT_EQ(entry, base + file.headers.entryPoint);
  const std::uint64_t delta = base - file.headers.imageBase;

  ASSERT_FALSE(file.relocations.empty());
  for (const auto &relocation : file.relocations) {
    ASSERT_EQ(relocation.type, pe::kRelocationDir64) << "RVA " << relocation.rva;
    const auto offset = file.headers.FileOffsetOf(relocation.rva, 8);
    ASSERT_TRUE(offset.has_value()) << "RVA " << relocation.rva;
    std::uint64_t linked = 0;
    std::memcpy(&linked, file.bytes.data() + *offset, 8);
    const std::uint64_t loaded = Machine().Memory().Read64(base + relocation.rva);
    EXPECT_EQ(loaded, linked + delta) << "RVA " << relocation.rva;
    // Each relocated field points into the loaded image.
    EXPECT_TRUE(loaded >= base && loaded - base < Machine().Image()->extent) << "RVA " << relocation.rva;
  }
}

TEST_F(EngineTest, DriverSectionsAreMappedWithTheirOwnProtections) {
  Start(Phase::Dxe);
  Machine().LoadModule();
  std::vector<std::string> names;
  for (const auto &part : Machine().Image()->parts) names.push_back(part.name);
  EXPECT_EQ(names, (std::vector<std::string>{"headers", ".text", ".rdata", ".data", ".reloc"}));
  const auto &executable = Machine().Image()->executable;
  ASSERT_EQ(executable.size(), 1u);
  EXPECT_EQ(Machine().Describe(executable[0].first), "BoardDxe+0x1000 (.text)");
  // The models may write the driver's data (a located interface kept in a
  // global), not its code or constants.
  for (const auto &part : Machine().Image()->parts) {
    if (part.name == ".data")
      EXPECT_NO_THROW(Machine().Memory().Write8(part.start, Machine().Memory().Read8(part.start)));
    else
      EXPECT_THROW(Machine().Memory().Write8(part.start, 0), GuestFault) << part.name;
  }
}

// Just enough of a system table for the driver's entry: every boot service
// it calls leads to the hub, which answers EFI_SUCCESS.
GuestAddr EntrySystemTable(EmulatedMachine &machine) {
  GuestMemory &memory = machine.Memory();
  const GuestAddr bootServices = memory.Allocate(sizeof(EFI_BOOT_SERVICES));
  for (unsigned slot = 0; slot < kBootServicesCount; ++slot)
    memory.Write64(bootServices + sizeof(EFI_TABLE_HEADER) + slot * 8,
                   machine.UnexpectedEntry(ServiceTable::BootServices, slot));
  memory.Write64(bootServices + offsetof(EFI_BOOT_SERVICES, CreateEvent), machine.ServiceEntry(Service::BsCreateEvent));
  memory.Write64(bootServices + offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface),
                 machine.ServiceEntry(Service::BsInstallProtocolInterface));
  memory.Write64(bootServices + offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify),
                 machine.ServiceEntry(Service::BsRegisterProtocolNotify));
  memory.Write64(bootServices + offsetof(EFI_BOOT_SERVICES, CreateEventEx),
                 machine.ServiceEntry(Service::BsCreateEventEx));
  const GuestAddr systemTable = memory.Allocate(sizeof(EFI_SYSTEM_TABLE));
  memory.Write64(systemTable + offsetof(EFI_SYSTEM_TABLE, BootServices), bootServices);
  return systemTable;
}

TEST_F(EngineTest, RealDriverEntryPassesRelocatedAddressesAndSixArguments) {
  Start(Phase::Dxe);
  const GuestAddr entry = Machine().LoadModule();
  GuestMemory &memory = Machine().Memory();
  const GuestAddr systemTable = EntrySystemTable(Machine());
  const std::uint64_t arguments[] = {0x00203000, systemTable};
  EXPECT_EQ(Machine().Call(entry, Signature::DxeEntry, arguments), 0u);

  ASSERT_GE(Hub().Calls().size(), 2u);
  const ReceivedCall &install = Hub().Calls()[0];
  ASSERT_EQ(install.service, Service::BsInstallProtocolInterface);
  EXPECT_EQ(memory.ReadGuid(install.arguments[1]), BoardHookProtocolGuid());
  // The protocol's member 0 is a relocated pointer to the driver's code.
  EXPECT_NE(Machine().Describe(memory.Read64(install.arguments[3])).find("(.text)"), std::string::npos);

  const ReceivedCall &readyToBoot = Hub().Calls()[1];
  ASSERT_EQ(readyToBoot.service, Service::BsCreateEventEx);
  EXPECT_EQ(readyToBoot.arguments[0], 0x200u);
  EXPECT_EQ(readyToBoot.arguments[1], 8u);
  EXPECT_NE(Machine().Describe(readyToBoot.arguments[2]).find("(.text)"), std::string::npos);
  EXPECT_EQ(readyToBoot.arguments[3], 0u);
  EXPECT_EQ(memory.ReadGuid(readyToBoot.arguments[4]), ReadyToBootGroupGuid());
  EXPECT_EQ(Machine().Describe(readyToBoot.arguments[5]).rfind("stack+", 0), 0u);
}

// A BOOLEAN answer is AL alone: the real members 0, 2 and 5 leave bits 8 to
// 63 of RAX as the caller had them, while members 1 and 6 answer a whole
// 64-bit zero. Each member is called with RAX poisoned and read back whole.
TEST_F(EngineTest, BooleanMembersSetOnlyAlOfTheCallersRax) {
  Start(Phase::Dxe);
  const GuestAddr entry = Machine().LoadModule();
  const std::uint64_t arguments[] = {0x00203000, EntrySystemTable(Machine())};
  ASSERT_EQ(Machine().Call(entry, Signature::DxeEntry, arguments), 0u);
  ASSERT_EQ(Hub().Calls().at(0).service, Service::BsInstallProtocolInterface);
  const GuestAddr protocol = Hub().Calls()[0].arguments[3];
  const auto member = [&](unsigned index) { return Machine().Memory().Read64(protocol + index * 8); };

  constexpr std::uint64_t kPoison = 0x5AC3A55A3CC35AA5ull;
  const struct {
    unsigned member;
    std::uint64_t rax;
  } kAnswers[] = {{0, 0x5AC3A55A3CC35A00ull}, {2, 0x5AC3A55A3CC35A00ull}, {5, 0x5AC3A55A3CC35A01ull}, {1, 0}, {6, 0}};
  for (const auto &answer : kAnswers) {
    Code code;
    code.Bytes({0x48, 0x83, 0xEC, 0x28, 0x48, 0xB8})  // sub rsp, 0x28; mov rax, poison
        .Imm64(kPoison)
        .Bytes({0x49, 0xBB})  // mov r11, member
        .Imm64(member(answer.member))
        .Bytes({0x41, 0xFF, 0xD3, 0x48, 0x83, 0xC4, 0x28, 0xC3});  // call r11; add rsp, 0x28; ret
    EXPECT_EQ(Run(Place(code)), answer.rax) << "member " << answer.member;
  }
  EXPECT_EQ(member(0), member(2));
  EXPECT_EQ(member(1), member(6));
  EXPECT_NE(member(0), member(1));
}

TEST_F(EngineTest, PeiModuleSitsInFlashAtItsExecuteInPlaceAddress) {
  Start(Phase::Pei);
  const GuestAddr entry = Machine().LoadModule();
  const auto &file = *ImageOf(Phase::Pei);
  EXPECT_EQ(entry, firmware_layout::kBoardPeiImageBase + file.headers.entryPoint);
  EXPECT_NE(Machine().Describe(entry).find("(.text)"), std::string::npos);
  EXPECT_EQ(Machine().Memory().ReadBytes(firmware_layout::kBoardPeiFlashAddress, file.bytes.size()), file.bytes);
  EXPECT_EQ(Machine().Describe(firmware_layout::kBoardPeiFlashAddress), "BoardPei+0x148 (TE header)");
  // Around the module the flash is erased.
  EXPECT_EQ(Machine().Memory().Read32(emulated::kBootFlashBase), 0xFFFFFFFFu);
  EXPECT_EQ(Machine().Memory().Read32(emulated::kBootFlashBase + emulated::kBootFlashSize - 4), 0xFFFFFFFFu);
}

TEST_F(EngineTest, ModuleLoadsOncePerMachine) {
  Start(Phase::Pei);
  Machine().LoadModule();
  EXPECT_THROW(Machine().LoadModule(), std::logic_error);
}

TEST_F(EngineTest, ReusedMachineRunsTheCodeNowPlacedNotTheCodeItTranslatedBefore) {
  Start(Phase::Dxe);
  Code one;
  one.Bytes({0xB8}).Imm32(1).Bytes({0xC3});  // mov eax, 1; ret
  const GuestAddr first = Place(one);
  EXPECT_EQ(Run(first), 1u);
  Trace trace;
  HardwareModel hardware(ShippedBoard(), trace);
  ASSERT_TRUE(Machine().ReuseFor(Hub(), hardware));
  Code two;
  two.Bytes({0xB8}).Imm32(2).Bytes({0xC3});  // mov eax, 2; ret
  ASSERT_EQ(Place(two), first);
  EXPECT_EQ(Run(first), 2u);
}

TEST(EmulatedEngineFactory, IsAvailableAndNamesAMissingImage) {
  const auto engines = AvailableEngines();
  EXPECT_NE(std::find(engines.begin(), engines.end(), "emulated"), engines.end());
  EXPECT_EQ(MakeEngine("emulated")->Name(), "emulated");
  try {
    MakeEngine("emulated", "/nonexistent/firmware");
    ADD_FAILURE() << "an engine without images was made";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/firmware/BoardDxe.efi does not exist"), std::string::npos)
        << error.what();
  }
}

TEST(EmulatedEngineFactory, RefusesAnImageOfTheWrongKind) {
  const auto folder = std::filesystem::temp_directory_path() / "engine_tests_swapped_images";
  std::filesystem::create_directories(folder);
  // The PEI module where the driver belongs.
  std::filesystem::copy_file(DefaultFirmwareDirectory() / "BoardPei.te", folder / "BoardDxe.efi",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(DefaultFirmwareDirectory() / "BoardPei.te", folder / "BoardPei.te",
                             std::filesystem::copy_options::overwrite_existing);
  try {
    MakeEngine("emulated", folder);
    ADD_FAILURE() << "a TE image was taken for the driver";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find("BoardDxe.efi: it is a TE image, not PE32+"), std::string::npos)
        << error.what();
  }
  std::filesystem::remove_all(folder);
}

TEST(ShippedDriver, HookProtocolMembersShareOneFunctionPerAnswerAndNoMore) {
  // Members 0 and 2 answer the BOOLEAN FALSE, 1 and 6 the UINT64 0, 5 TRUE:
  // one function per answer in the image, and the two zero answers apart.
  const auto engine = MakeEngine("emulated");
  Boot boot(ShippedBoard(), *engine);
  boot.RunDefaultSequence();
  const auto protocol = boot.Dxe().FindProtocol(BoardHookProtocolGuid());
  ASSERT_TRUE(protocol.has_value());
  std::array<GuestAddr, 8> member{};
  for (unsigned i = 0; i < member.size(); ++i) member[i] = boot.DxeMachine().Memory().Read64(*protocol + 8 * i);
  EXPECT_EQ(member[0], member[2]);
  EXPECT_EQ(member[1], member[6]);
  EXPECT_NE(member[0], member[1]);
  EXPECT_NE(member[5], member[0]);
  EXPECT_NE(member[5], member[1]);
  EXPECT_EQ(member[3], 0u);
  EXPECT_EQ(member[7], 0u);
  for (unsigned i : {0u, 1u, 4u, 5u})
    EXPECT_NE(boot.DxeMachine().Describe(member[i]).find("(.text)"), std::string::npos) << "member " << i;
}

}  // namespace
}  // namespace boardsim::testing
