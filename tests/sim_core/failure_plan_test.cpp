// Failure injection: the status planned for the Nth call of a service is
// returned on exactly that call, counting each service on its own.
#include "sim/core/failure_plan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "uefi/status.h"

namespace boardsim {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(FailurePlan, InjectsOnlyOnThePlannedCallOfThatService) {
  FailurePlan plan({{"BS.LocateProtocol", 2, EFI_NOT_FOUND},
                    {"BS.LocateProtocol", 4, EFI_DEVICE_ERROR},
                    {"PEI.InstallPpi", 1, EFI_OUT_OF_RESOURCES}});

  std::vector<std::optional<std::uint64_t>> locate;
  for (int call = 0; call < 5; ++call) locate.push_back(plan.OnCall("BS.LocateProtocol"));
  const auto install = std::vector{plan.OnCall("PEI.InstallPpi"), plan.OnCall("PEI.InstallPpi")};
  const auto other = plan.OnCall("BS.CreateEvent");

  EXPECT_THAT(locate, ElementsAre(std::nullopt, EFI_NOT_FOUND, std::nullopt, EFI_DEVICE_ERROR, std::nullopt));
  EXPECT_THAT(install, ElementsAre(EFI_OUT_OF_RESOURCES, std::nullopt));
  EXPECT_EQ(other, std::nullopt);
  EXPECT_THAT(plan.Counts(),
              ElementsAre(Pair("BS.CreateEvent", 1u), Pair("BS.LocateProtocol", 5u), Pair("PEI.InstallPpi", 2u)));
}

TEST(FailurePlan, ServiceNamesMatchExactly) {
  FailurePlan plan({{"BS.CreateEvent", 1, EFI_OUT_OF_RESOURCES}});

  // CreateEventEx is another service with its own count.
  EXPECT_EQ(plan.OnCall("BS.CreateEventEx"), std::nullopt);
  EXPECT_EQ(plan.OnCall("BS.CreateEvent"), EFI_OUT_OF_RESOURCES);
}

// A failure chosen by its arguments hits the calls whose traced arguments
// match, whichever call number they have and in whatever base the trace
// writes the number; nth then counts among the matching calls only.
TEST(FailurePlan, ArgumentsPickTheCallWhateverItsNumber) {
  FailurePlan plan({{"SMBIOS.ReadStructure", 1, EFI_DEVICE_ERROR, {{"instance", "3"}}},
                    {"PortLocator.GetBridge", 2, 0x00E4, {{"port", "396"}}}});

  const auto read = std::vector{plan.OnCall("SMBIOS.ReadStructure", "SMBIOS.ReadStructure(type 9, instance 2)"),
                                plan.OnCall("SMBIOS.ReadStructure", "SMBIOS.ReadStructure(type 9, instance 3)"),
                                plan.OnCall("SMBIOS.ReadStructure", "SMBIOS.ReadStructure(type 9, instance 3)")};
  const auto port = std::vector{plan.OnCall("PortLocator.GetBridge", "PortLocator.GetBridge(port 0x18C)"),
                                plan.OnCall("PortLocator.GetBridge", "PortLocator.GetBridge(port 0x18D)"),
                                plan.OnCall("PortLocator.GetBridge", "PortLocator.GetBridge(port 0x18C)")};

  EXPECT_THAT(read, ElementsAre(std::nullopt, EFI_DEVICE_ERROR, std::nullopt));
  EXPECT_THAT(port, ElementsAre(std::nullopt, std::nullopt, 0x00E4u));
}

}  // namespace
}  // namespace boardsim
