// The shipped board and its named variants: the facts the scenarios rely
// on, and that each variant differs from the shipped board only as its
// name says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "sim/board/board_checks.h"
#include "sim/board/board_config.h"
#include "sim/board/pch_gpio_layout.h"

namespace boardsim {
namespace {

using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

std::vector<unsigned> RiserLevels(const BoardConfig &board) {
  std::vector<unsigned> levels;
  for (std::uint32_t pad = 0x030A0000; pad < 0x030A0004; ++pad)
    levels.push_back((board.pads.at(pad).dw0 & kDw0RxStateBit) != 0 ? 1 : 0);
  return levels;
}

// A board's hardware and services, its name and description aside.
BoardConfig WithoutNameAndDescription(BoardConfig board) {
  board.name.clear();
  board.description.clear();
  return board;
}

TEST(ShippedBoard, RiserPadsCarryTheX16Code) {
  const BoardConfig board = ShippedBoard();
  EXPECT_EQ(board.pchDeviceId, 0xA305);
  EXPECT_EQ(board.pads.size(), 4u);
  EXPECT_EQ(RiserLevels(board), (std::vector<unsigned>{0, 1, 1, 1}));
  for (const auto &[pad, state] : board.pads) EXPECT_EQ(state.owner, 0u) << pad;
}

TEST(ShippedBoard, EachPortLeadsThroughABridgeToItsOwnController) {
  const BoardConfig board = ShippedBoard();
  std::set<std::uint32_t> bars;
  std::set<std::array<std::uint8_t, 6>> macs;
  std::vector<std::uint32_t> ports;
  for (const auto &[port, token] : board.pcdTokens) {
    ports.push_back(port);
    EXPECT_EQ(token.size, 4u) << "token " << port;
    const std::uint16_t bdf = static_cast<std::uint16_t>(token.value);
    const auto bridge = std::find_if(board.bridges.begin(), board.bridges.end(),
                                     [bdf = bdf](const PciBridge &candidate) { return candidate.bdf == bdf; });
    ASSERT_NE(bridge, board.bridges.end()) << "port " << port;
    const auto endpoint = std::find_if(board.endpoints.begin(), board.endpoints.end(),
                                       [&](const PciEndpoint &e) { return e.bus == bridge->subordinateBus; });
    ASSERT_NE(endpoint, board.endpoints.end()) << "port " << port;
    EXPECT_EQ(endpoint->vendorDevice, 0x15338086u);
    EXPECT_EQ(endpoint->command, 0x06);
    EXPECT_EQ(endpoint->bar0 & 0xFFF, 0u);
    bars.insert(endpoint->bar0);
    macs.insert(endpoint->mac);
  }
  EXPECT_THAT(ports, UnorderedElementsAre(0x8u, 0x18Cu, 0x18Du, 0x18Eu));
  EXPECT_EQ(bars.size(), 4u);
  EXPECT_EQ(macs.size(), 4u);
}

TEST(ShippedBoard, ThreeSlotRecordsAndEveryService) {
  const BoardConfig board = ShippedBoard();
  ASSERT_EQ(board.smbiosSlots.size(), 3u);
  std::set<std::uint16_t> handles;
  std::set<std::string> designations;
  for (std::size_t i = 0; i < board.smbiosSlots.size(); ++i) {
    EXPECT_EQ(board.smbiosSlots[i].instance, i + 1);
    handles.insert(board.smbiosSlots[i].handle);
    designations.insert(board.smbiosSlots[i].designation);
  }
  EXPECT_EQ(handles.size(), 3u);
  EXPECT_EQ(designations.size(), 3u);
  EXPECT_TRUE(board.setupStringService && board.smbiosService && board.portLocator && board.pcdPpi);
  EXPECT_THAT(board.failures, IsEmpty());
}

TEST(NamedBoards, EveryNameLoadsIsConsistentAndDescribed) {
  std::set<std::string> descriptions;
  for (const std::string &name : NamedBoards()) {
    const auto board = NamedBoard(name);
    ASSERT_TRUE(board.has_value()) << name;
    EXPECT_EQ(board->name, name);
    EXPECT_FALSE(board->description.empty()) << name;
    descriptions.insert(board->description);
    for (const auto &problem : CheckBoard(*board))
      ADD_FAILURE() << name << ": " << problem.field << ": " << problem.problem;
  }
  EXPECT_EQ(descriptions.size(), NamedBoards().size());
  EXPECT_EQ(NamedBoard("x9"), std::nullopt);
  EXPECT_EQ(NamedBoard("shipped"), ShippedBoard());
}

TEST(NamedBoards, EachVariantChangesOnlyWhatItsNameSays) {
  const BoardConfig shipped = ShippedBoard();
  const auto variant = [](const std::string &name) { return NamedBoard(name).value(); };
  const auto expect = [&](const std::string &name, BoardConfig expected) {
    EXPECT_EQ(WithoutNameAndDescription(variant(name)), WithoutNameAndDescription(std::move(expected))) << name;
  };

  BoardConfig x8 = shipped;
  x8.pads[0x030A0001].dw0 = InputPadDw0(0);
  expect("x8", x8);
  EXPECT_EQ(RiserLevels(variant("x8")), (std::vector<unsigned>{0, 0, 1, 1}));

  EXPECT_EQ(RiserLevels(variant("no-riser")), (std::vector<unsigned>{1, 1, 1, 1}));

  BoardConfig lp = shipped;
  lp.pchDeviceId = 0x9D84;
  lp.pads.clear();
  expect("lp-pch", lp);

  BoardConfig unknown = shipped;
  unknown.pchDeviceId = 0x1234;
  expect("unknown-pch", unknown);

  BoardConfig foreignOwner = shipped;
  foreignOwner.pads[0x030A0000].dw0 = InputPadDw0(1);
  foreignOwner.pads[0x030A0001] = {1, InputPadDw0(0)};
  expect("foreign-owner", foreignOwner);

  BoardConfig missing = shipped;
  missing.endpoints.erase(missing.endpoints.begin() + 2);  // bus 4, behind port 0x18D
  expect("lan-missing-controller", missing);

  BoardConfig foreignDevice = shipped;
  foreignDevice.endpoints[2].vendorDevice = 0x15398086;
  expect("lan-foreign-device", foreignDevice);

  BoardConfig empty = shipped;
  empty.endpoints.erase(empty.endpoints.begin());  // bus 2, behind port 8
  expect("lan-empty-bus", empty);

  BoardConfig command = shipped;
  for (auto &endpoint : command.endpoints) endpoint.command = 0x00;
  expect("lan-command-00", command);

  BoardConfig bar = shipped;
  bar.endpoints[0].bar0 = 0xD000000C;
  bar.endpoints[0].bar0Upper = 1;
  expect("lan-bar-type-bits", bar);

  BoardConfig noLocator = shipped;
  noLocator.portLocator = false;
  expect("no-port-locator", noLocator);

  BoardConfig noPcd = shipped;
  noPcd.pcdPpi = false;
  expect("no-pcd", noPcd);
}

}  // namespace
}  // namespace boardsim
