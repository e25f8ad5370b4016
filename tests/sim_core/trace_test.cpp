// The trace's text, which every scenario suite compares against: register
// accesses at their width, calls completed in place after what they caused,
// and the prefixes of the other kinds.
#include "sim/base/trace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace boardsim {
namespace {

using ::testing::ElementsAre;

TEST(TraceText, RegisterAccessesShowWidthAddressAndZeroPaddedValue) {
  Trace trace;
  trace.Read(32, 0xFD6B0020, 0);
  trace.Write(8, 0xE0200004, 0x07);
  trace.Read(16, 0xE00F8002, 0xA305);
  trace.Write(32, 0xFDA81558, 0x152F2800);
  trace.Read(64, 0xE1005400, 0x1);

  EXPECT_THAT(trace.Lines(),
              ElementsAre("R32 0xFD6B0020 = 0x00000000", "W8 0xE0200004 = 0x07", "R16 0xE00F8002 = 0xA305",
                          "W32 0xFDA81558 = 0x152F2800", "R64 0xE1005400 = 0x0000000000000001"));
}

TEST(TraceText, CallIsCompletedInPlaceAfterWhatItCaused) {
  Trace trace;
  const std::size_t outer = trace.Call("BS.InstallProtocolInterface(SMBIOS_TABLE_PROTOCOL)");
  trace.Notify("event#3 at TPL_CALLBACK");
  const std::size_t inner = trace.Call("BS.CloseEvent(event#3)");
  trace.Complete(inner, "EFI_SUCCESS");
  trace.Complete(outer, "EFI_SUCCESS, handle#4");

  EXPECT_THAT(trace.Lines(),
              ElementsAre("call BS.InstallProtocolInterface(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS, "
                          "handle#4",
                          "notify event#3 at TPL_CALLBACK", "call BS.CloseEvent(event#3) = EFI_SUCCESS"));
  EXPECT_THAT(trace.Calls(), ElementsAre("BS.InstallProtocolInterface(SMBIOS_TABLE_PROTOCOL) = EFI_SUCCESS, handle#4",
                                         "BS.CloseEvent(event#3) = EFI_SUCCESS"));
}

TEST(TraceText, KindsAreToldApartByPrefixAndSelectedByKind) {
  Trace trace;
  trace.Event("BoardPei dispatched");
  const std::size_t mark = trace.Mark();
  trace.Write(32, 0xFDA81558, 0x152F2800);
  trace.Unexpected("write32 0xFDA91558: no sideband port 0xA9");
  trace.Complete(trace.Call("PEI.LocatePpi(PCD_PPI, instance 0, services via IDT)"), "EFI_NOT_FOUND");

  EXPECT_THAT(trace.LinesSince(mark),
              ElementsAre("W32 0xFDA81558 = 0x152F2800", "unexpected write32 0xFDA91558: no sideband port 0xA9",
                          "call PEI.LocatePpi(PCD_PPI, instance 0, services via IDT) = EFI_NOT_FOUND"));
  EXPECT_EQ(trace.Lines().front(), "event BoardPei dispatched");
  EXPECT_THAT(trace.RegisterLines(), ElementsAre("W32 0xFDA81558 = 0x152F2800"));
  EXPECT_THAT(trace.Unexpecteds(), ElementsAre("unexpected write32 0xFDA91558: no sideband port 0xA9"));
  EXPECT_THAT(trace.LinesSince(trace.Mark()), ElementsAre());
}

}  // namespace
}  // namespace boardsim
