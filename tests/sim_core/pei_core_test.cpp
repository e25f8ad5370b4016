// The PEI core model as an IA-32 module meets it: the services table and the
// IDT word, InstallPpi's walk of a descriptor list, LocatePpi's instance
// numbering, and PCD_PPI storing bytes by token number.
#include "sim/core/pei_core.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "sim/board/board_config.h"
#include "sim/core/known_guids.h"
#include "tests/sim_core/fake_machine.h"
#include "uefi/status.h"

namespace boardsim::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr unsigned kPointer = 4;
constexpr std::uint64_t kPpiFlag = 0x00000010;
constexpr std::uint64_t kTerminateList = 0x80000000;

// Offsets of the three services in the IA-32 table, as the module reads them.
constexpr GuestAddr kInstallPpiOffset = 0x18;
constexpr GuestAddr kLocatePpiOffset = 0x20;
constexpr GuestAddr kAllocatePoolOffset = 0x4C;

struct Descriptor {
  std::uint64_t flags;
  GuestAddr guid;
  GuestAddr ppi;
};

MATCHER_P3(IsModulePpi, guid, descriptor, ppi, "") {
  return arg.guid == guid && arg.descriptor == descriptor && arg.ppi == ppi && arg.byModule;
}

class PeiCoreModel : public ::testing::Test {
 protected:
  explicit PeiCoreModel(bool separateEntryPointer = false)
      : pei_(board_, machine_, trace_, failures_, separateEntryPointer) {}

  FakeMemory &Memory() { return machine_.Memory(); }
  GuestAddr Services() const { return pei_.EntryServicesPointer(); }
  // Results come back at the guest's width; compare them as the models speak.
  std::uint64_t Call(Service service, std::vector<std::uint64_t> arguments) {
    return StatusFromGuest(pei_.Call(service, arguments), kPointer);
  }

  GuestAddr List(const std::vector<Descriptor> &descriptors) {
    const GuestAddr list = Memory().Allocate(descriptors.size() * 3 * kPointer);
    for (std::size_t i = 0; i < descriptors.size(); ++i) {
      const GuestAddr at = list + i * 3 * kPointer;
      Memory().WritePointer(at, descriptors[i].flags);
      Memory().WritePointer(at + kPointer, descriptors[i].guid);
      Memory().WritePointer(at + 2 * kPointer, descriptors[i].ppi);
    }
    return list;
  }

  std::vector<PeiCore::InstalledPpi> ModulePpis() const {
    std::vector<PeiCore::InstalledPpi> installed;
    for (const auto &ppi : pei_.Ppis())
      if (ppi.byModule) installed.push_back(ppi);
    return installed;
  }

  BoardConfig board_ = ShippedBoard();
  Trace trace_;
  FailurePlan failures_;
  FakeMachine machine_{kPointer};
  PeiCore pei_;
};

TEST_F(PeiCoreModel, ServicesTableAndIdtWordFollowTheIa32Layout) {
  FakeMemory &memory = Memory();
  const GuestAddr table = memory.ReadPointer(Services());

  EXPECT_EQ(memory.ReadPointer(table + kInstallPpiOffset), machine_.ServiceEntry(Service::PeiInstallPpi));
  EXPECT_EQ(memory.ReadPointer(table + kLocatePpiOffset), machine_.ServiceEntry(Service::PeiLocatePpi));
  EXPECT_EQ(memory.ReadPointer(table + kAllocatePoolOffset), machine_.ServiceEntry(Service::PeiAllocatePool));
  // ReInstallPpi, between the two, is a slot the board does not provide.
  EXPECT_EQ(memory.ReadPointer(table + kInstallPpiOffset + kPointer),
            machine_.UnexpectedEntry(ServiceTable::PeiServices, 1));
  // The CPU reports the IDT base; the word below it leads to the same cell.
  EXPECT_EQ(machine_.IdtBase(), pei_.IdtBase());
  EXPECT_EQ(memory.ReadPointer(pei_.IdtBase() - kPointer), pei_.IdtServicesPointer());
  EXPECT_EQ(pei_.IdtServicesPointer(), Services());
}

TEST_F(PeiCoreModel, InstallPpiWalksTheListToTheTerminatingDescriptor) {
  const GuestAddr hook = Memory().AllocateGuid(BoardHookPpiGuid());
  const GuestAddr other = Memory().AllocateGuid(SmbiosTableProtocolGuid());
  // The fourth descriptor would fault if read: its GUID pointer is NULL.
  const GuestAddr list = List({{kPpiFlag, hook, 0x1100},
                               {kPpiFlag, other, 0x2200},
                               {kPpiFlag | kTerminateList, hook, 0x3300},
                               {kPpiFlag, 0, 0x4400}});

  EXPECT_EQ(Call(Service::PeiInstallPpi, {Services(), list}), EFI_SUCCESS);

  EXPECT_THAT(ModulePpis(), ElementsAre(IsModulePpi(BoardHookPpiGuid(), list, 0x1100u),
                                        IsModulePpi(SmbiosTableProtocolGuid(), list + 12, 0x2200u),
                                        IsModulePpi(BoardHookPpiGuid(), list + 24, 0x3300u)));
  EXPECT_THAT(trace_.Calls(),
              ElementsAre("PEI.InstallPpi(BOARD_HOOK_PPI, SMBIOS_TABLE_PROTOCOL, BOARD_HOOK_PPI) = EFI_SUCCESS"));
}

TEST_F(PeiCoreModel, InstallPpiRejectsADescriptorWithoutThePpiFlag) {
  const GuestAddr hook = Memory().AllocateGuid(BoardHookPpiGuid());

  EXPECT_EQ(
      Call(Service::PeiInstallPpi, {Services(), List({{kPpiFlag, hook, 0x1100}, {kTerminateList, hook, 0x2200}})}),
      EFI_INVALID_PARAMETER);
  EXPECT_EQ(Call(Service::PeiInstallPpi, {Services(), List({{kTerminateList, hook, 0x1100}})}), EFI_INVALID_PARAMETER);

  // Nothing of a rejected list is installed, not even its valid first part.
  EXPECT_THAT(ModulePpis(), IsEmpty());
  EXPECT_FALSE(pei_.FindPpi(BoardHookPpiGuid()).has_value());
}

TEST_F(PeiCoreModel, LocatePpiNumbersTheInstancesOfOneGuid) {
  const GuestAddr hook = Memory().AllocateGuid(BoardHookPpiGuid());
  const GuestAddr list = List({{kPpiFlag, hook, 0x1100}, {kPpiFlag | kTerminateList, hook, 0x2200}});
  ASSERT_EQ(Call(Service::PeiInstallPpi, {Services(), list}), EFI_SUCCESS);

  auto locate = [&](std::uint64_t instance) {
    const GuestAddr descriptor = Memory().AllocateFilled(kPointer, 0xA5);
    const GuestAddr ppi = Memory().AllocateFilled(kPointer, 0xA5);
    const std::uint64_t status = Call(Service::PeiLocatePpi, {Services(), hook, instance, descriptor, ppi});
    return std::make_tuple(status, Memory().ReadPointer(descriptor), Memory().ReadPointer(ppi));
  };
  EXPECT_EQ(locate(0), std::make_tuple(std::uint64_t{EFI_SUCCESS}, list, GuestAddr{0x1100}));
  EXPECT_EQ(locate(1), std::make_tuple(std::uint64_t{EFI_SUCCESS}, list + 12, GuestAddr{0x2200}));
  EXPECT_EQ(locate(2), std::make_tuple(std::uint64_t{EFI_NOT_FOUND}, GuestAddr{0xA5A5A5A5}, GuestAddr{0xA5A5A5A5}));

  // PCD_PPI, from the PEI core itself, counts its own instances.
  const GuestAddr pcd = Memory().AllocateGuid(PcdPpiGuid());
  const GuestAddr out = Memory().AllocateFilled(kPointer, 0);
  EXPECT_EQ(Call(Service::PeiLocatePpi, {Services(), pcd, 0, 0, out}), EFI_SUCCESS);
  EXPECT_EQ(Memory().ReadPointer(out), pei_.FindPpi(PcdPpiGuid()));
  EXPECT_EQ(Call(Service::PeiLocatePpi, {Services(), pcd, 1, 0, out}), EFI_NOT_FOUND);
}

TEST_F(PeiCoreModel, PcdSetPointerStoresTheBytesByToken) {
  const GuestAddr pcd = *pei_.FindPpi(PcdPpiGuid());
  // The 20th pointer is the service; its neighbours are not provided.
  EXPECT_EQ(Memory().ReadPointer(pcd + 19 * kPointer), machine_.ServiceEntry(Service::PcdSetPointer));
  EXPECT_EQ(Memory().ReadPointer(pcd + 18 * kPointer), machine_.UnexpectedEntry(ServiceTable::PcdPpi, 18));

  // A 32-bit size cell with other bytes after it: only the UINTN is read.
  const GuestAddr size = Memory().AllocateFilled(8, 0xEE);
  Memory().Write32(size, 6);
  const GuestAddr first = Memory().Allocate(6);
  const std::vector<std::uint8_t> firstBytes = {'a', 0, 'b', 0, 0, 0};
  Memory().Write(first, firstBytes.data(), firstBytes.size());
  const GuestAddr second = Memory().Allocate(6);
  const std::vector<std::uint8_t> secondBytes = {1, 2, 3, 4, 5, 6};
  Memory().Write(second, secondBytes.data(), secondBytes.size());

  EXPECT_EQ(Call(Service::PcdSetPointer, {5, size, first}), EFI_SUCCESS);
  EXPECT_EQ(Call(Service::PcdSetPointer, {9, size, second}), EFI_SUCCESS);
  Memory().Write32(size, 2);
  EXPECT_EQ(Call(Service::PcdSetPointer, {9, size, first}), EFI_SUCCESS);

  EXPECT_EQ(pei_.PcdTokens().at(5), firstBytes);
  EXPECT_EQ(pei_.PcdTokens().at(9), (std::vector<std::uint8_t>{'a', 0}));
  EXPECT_EQ(pei_.PcdTokens().size(), 2u);
  EXPECT_THAT(trace_.Calls(), ElementsAre("PCD.SetPointer(token 0x5) = EFI_SUCCESS, 6 bytes",
                                          "PCD.SetPointer(token 0x9) = EFI_SUCCESS, 6 bytes",
                                          "PCD.SetPointer(token 0x9) = EFI_SUCCESS, 2 bytes"));
}

TEST_F(PeiCoreModel, PcdSetPointerRefusesMoreThanTheTokenHoldsAndHandsBackItsSize) {
  // Token 5 holds the 24-byte product name; 26 bytes are refused, the size
  // cell then holds 24 and the token keeps no value.
  const GuestAddr size = Memory().AllocateFilled(kPointer, 0);
  Memory().WritePointer(size, 26);
  const GuestAddr bytes = Memory().AllocateFilled(26, 0x41);

  EXPECT_EQ(Call(Service::PcdSetPointer, {5, size, bytes}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Memory().ReadPointer(size), 24u);
  EXPECT_TRUE(pei_.PcdTokens().empty());
  EXPECT_THAT(trace_.Calls(),
              ElementsAre("PCD.SetPointer(token 0x5) = EFI_INVALID_PARAMETER, 26 bytes for a token of 24"));
}

TEST_F(PeiCoreModel, InjectedFailureReturnsA32BitErrorAndDoesNothing) {
  FailurePlan plan({{"PEI.AllocatePool", 1, EFI_OUT_OF_RESOURCES}});
  // A second core on the same machine, with the failure planned.
  PeiCore pei(board_, machine_, trace_, plan);
  const GuestAddr out = Memory().AllocateFilled(kPointer, 0xA5);

  const std::uint64_t raw =
      pei.Call(Service::PeiAllocatePool, std::vector<std::uint64_t>{pei.EntryServicesPointer(), 12, out});

  EXPECT_EQ(raw, 0x80000009u);
  EXPECT_EQ(Memory().ReadPointer(out), 0xA5A5A5A5u);
  EXPECT_EQ(pei.PoolBytes(), 0u);
  EXPECT_THAT(trace_.Calls(), ElementsAre("PEI.AllocatePool(12 bytes) = EFI_OUT_OF_RESOURCES (injected)"));
}

class PeiCoreWithSeparateEntryPointer : public PeiCoreModel {
 protected:
  PeiCoreWithSeparateEntryPointer() : PeiCoreModel(true) {}
};

TEST_F(PeiCoreWithSeparateEntryPointer, LocatePpiTellsWhichServicesPointerItWasGiven) {
  ASSERT_NE(pei_.EntryServicesPointer(), pei_.IdtServicesPointer());
  // Both cells reach the one table.
  EXPECT_EQ(Memory().ReadPointer(pei_.EntryServicesPointer()), Memory().ReadPointer(pei_.IdtServicesPointer()));
  EXPECT_EQ(Memory().ReadPointer(pei_.IdtBase() - kPointer), pei_.IdtServicesPointer());
  const GuestAddr pcd = Memory().AllocateGuid(PcdPpiGuid());
  const GuestAddr out = Memory().AllocateFilled(kPointer, 0);
  const GuestAddr stray = Memory().Allocate(kPointer);

  Call(Service::PeiLocatePpi, {pei_.IdtServicesPointer(), pcd, 0, 0, out});
  Call(Service::PeiLocatePpi, {pei_.EntryServicesPointer(), pcd, 0, 0, out});
  Call(Service::PeiLocatePpi, {stray, pcd, 0, 0, out});

  EXPECT_THAT(pei_.LocatePpiServiceArguments(),
              ElementsAre(pei_.IdtServicesPointer(), pei_.EntryServicesPointer(), stray));
  EXPECT_THAT(trace_.Calls(),
              ElementsAre("PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_SUCCESS",
                          "PEI.LocatePpi(PCD_PPI, instance 0, services via entry argument) = EFI_SUCCESS",
                          "PEI.LocatePpi(PCD_PPI, instance 0, unknown services pointer) = EFI_SUCCESS"));
}

}  // namespace
}  // namespace boardsim::testing
