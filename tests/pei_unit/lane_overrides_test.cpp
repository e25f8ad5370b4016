// The lane override walk over tables given to it: which register each record
// reaches, what is skipped, and the order and width of the writes.
#include "pei/lane_overrides.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "recording_registers.h"

namespace {

constexpr std::uint32_t kValue = 0xA5C3E10F;

std::vector<RegisterAccess> Apply(std::initializer_list<LaneOverride> records) {
  ClearRegisterAccesses();
  ApplyLaneOverrides(std::data(records), records.size());
  return RegisterAccesses();
}

LaneOverride Record(UINT8 index, UINT8 laneClass, UINT16 offset, UINT32 value = kValue) {
  return {.LaneIndex = index, .LaneClass = laneClass, .RegisterOffset = offset, .Value = value};
}

// One record on its own: the 32-bit address it must write, or none.
struct SingleRecord {
  std::string Name;
  LaneOverride Override;
  std::optional<std::uint32_t> Address;
};

void PrintTo(const SingleRecord &c, std::ostream *out) { *out << c.Name; }

class OneRecord : public testing::TestWithParam<SingleRecord> {};

TEST_P(OneRecord, WritesItsValueOnceAtItsRegisterOrNothing) {
  const SingleRecord &c = GetParam();
  const std::vector<RegisterAccess> accesses = Apply({c.Override});
  if (c.Address) {
    EXPECT_EQ(accesses, std::vector{Write32(*c.Address, kValue)});
  } else {
    EXPECT_TRUE(accesses.empty()) << "first access: " << accesses.front();
  }
}

// Lane classes: 0 adds 5 to the index, 1 subtracts 1, 2 adds 18; others are inert.
INSTANTIATE_TEST_SUITE_P(LaneClasses, OneRecord,
                         testing::Values(SingleRecord{"Class0Index0IsLane5", Record(0, 0, 0x10), 0xFDAB1410},
                                         SingleRecord{"Class1Index11IsLane10", Record(11, 1, 0x10), 0xFDAA0010},
                                         SingleRecord{"Class1Index1IsLane0", Record(1, 1, 0x10), 0xFDAB0010},
                                         SingleRecord{"Class2Index0IsLane18", Record(0, 2, 0x10), 0xFDA81010},
                                         SingleRecord{"Class3IsInert", Record(0, 3, 0x10), std::nullopt},
                                         SingleRecord{"Class255IsInert", Record(1, 255, 0x158), std::nullopt}),
                         [](const auto &info) { return info.param.Name; });

// Lane numbers are 8-bit: they wrap past 255 in both directions.
INSTANTIATE_TEST_SUITE_P(EightBitWrap, OneRecord,
                         testing::Values(SingleRecord{"Class1Index0WrapsTo255", Record(0, 1, 0x10), std::nullopt},
                                         SingleRecord{"Class0Index251WrapsToLane0", Record(251, 0, 0x158), 0xFDAB0158},
                                         SingleRecord{"Class2Index238WrapsToLane0", Record(238, 2, 0x158), 0xFDAB0158},
                                         SingleRecord{"Class0Index255WrapsToLane4", Record(255, 0, 0x20), 0xFDAB1020},
                                         SingleRecord{"Class2Index250WrapsToLane12", Record(250, 2, 0x20), 0xFDAA0820}),
                         [](const auto &info) { return info.param.Name; });

// Ports 0xAB (lanes 0-9), 0xAA (10-13), 0xA8 (14-29); lanes above 29 are skipped.
INSTANTIATE_TEST_SUITE_P(PortBoundaries, OneRecord,
                         testing::Values(SingleRecord{"Lane9IsLastOfPortAB", Record(4, 0, 0x20), 0xFDAB2420},
                                         SingleRecord{"Lane10IsFirstOfPortAA", Record(5, 0, 0x20), 0xFDAA0020},
                                         SingleRecord{"Lane13IsLastOfPortAA", Record(8, 0, 0x20), 0xFDAA0C20},
                                         SingleRecord{"Lane14IsFirstOfPortA8", Record(9, 0, 0x20), 0xFDA80020},
                                         SingleRecord{"Lane29IsLastOfPortA8", Record(24, 0, 0x20), 0xFDA83C20},
                                         SingleRecord{"Lane30FromClass0IsSkipped", Record(25, 0, 0x20), std::nullopt},
                                         SingleRecord{"Lane30FromClass1IsSkipped", Record(31, 1, 0x20), std::nullopt},
                                         SingleRecord{"Lane30FromClass2IsSkipped", Record(12, 2, 0x20), std::nullopt},
                                         SingleRecord{"Lane205IsSkipped", Record(200, 0, 0x20), std::nullopt}),
                         [](const auto &info) { return info.param.Name; });

// The offset is truncated to the port's 16 bits and never carries into the port id.
INSTANTIATE_TEST_SUITE_P(
    OffsetWithinPort, OneRecord,
    testing::Values(SingleRecord{"Lane29OffsetWrapsInsidePortA8", Record(24, 0, 0xC500), 0xFDA80100},
                    SingleRecord{"Lane9OffsetWrapsToZeroOfPortAB", Record(4, 0, 0xDC00), 0xFDAB0000},
                    SingleRecord{"Lane13OffsetWrapsInsidePortAA", Record(8, 0, 0xF404), 0xFDAA0004},
                    SingleRecord{"Lane0TopOffsetStaysInPortAB", Record(251, 0, 0xFFFF), 0xFDABFFFF},
                    SingleRecord{"LargeOffsetReachesLaterLane", Record(9, 0, 0x558), 0xFDA80558}),
    [](const auto &info) { return info.param.Name; });

TEST(LaneOverrideWindows, OffsetPastTheWindowLandsOnTheNextLanesRegister) {
  // Lane 14 with 0x400 + 0x158 is the same register as lane 15 with 0x158.
  const std::vector<RegisterAccess> accesses = Apply({Record(9, 0, 0x558, 1), Record(10, 0, 0x158, 2)});
  EXPECT_EQ(accesses, (std::vector{Write32(0xFDA80558, 1), Write32(0xFDA80558, 2)}));
}

TEST(LaneOverrideTable, WritesInTableOrderSkippingInertRecords) {
  const std::vector<RegisterAccess> accesses =
      Apply({Record(3, 2, 0x158, 0x11111111), Record(0, 3, 0x158, 0x22222222), Record(1, 2, 0x158, 0x33333333),
             Record(0, 1, 0x158, 0x44444444), Record(0, 0, 0x4, 0x55555555)});
  EXPECT_EQ(accesses, (std::vector{Write32(0xFDA81D58, 0x11111111), Write32(0xFDA81558, 0x33333333),
                                   Write32(0xFDAB1404, 0x55555555)}));
}

TEST(LaneOverrideTable, SameRegisterTwiceIsWrittenTwice) {
  const std::vector<RegisterAccess> accesses = Apply({Record(1, 2, 0x158, 7), Record(1, 2, 0x158, 7)});
  EXPECT_EQ(accesses, (std::vector{Write32(0xFDA81558, 7), Write32(0xFDA81558, 7)}));
}

TEST(LaneOverrideTable, EmptyTableWritesNothing) {
  ClearRegisterAccesses();
  ApplyLaneOverrides(nullptr, 0);
  EXPECT_TRUE(RegisterAccesses().empty());
}

TEST(LaneOverrideTable, CountLimitsTheWalk) {
  const LaneOverride records[] = {Record(1, 2, 0x158, 1), Record(3, 2, 0x158, 2)};
  ClearRegisterAccesses();
  ApplyLaneOverrides(records, 1);
  EXPECT_EQ(RegisterAccesses(), std::vector{Write32(0xFDA81558, 1)});
}

TEST(BoardLaneOverrides, WritesLane19ThenLane21OfPortA8AndReadsNothing) {
  ClearRegisterAccesses();
  ApplyBoardLaneOverrides();
  EXPECT_EQ(RegisterAccesses(), (std::vector{Write32(0xFDA81558, 0x152F2800), Write32(0xFDA81D58, 0x152F2800)}));
}

}  // namespace
