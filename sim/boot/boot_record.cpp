#include "sim/boot/boot_record.h"

#include "sim/boot/seen_outcome.h"
#include "sim/core/known_guids.h"
#include "sim/scoreboard/expected_outcome.h"

namespace boardsim {
namespace {

constexpr std::uint64_t kBoardNameToken = 5;

}  // namespace

BootRecord RunBoot(const BoardConfig &board, Engine &engine, const std::function<void(Boot &)> &started) {
  Boot boot(board, engine);
  if (started) started(boot);
  BootRecord record;
  try {
    boot.RunDefaultSequence();
    record.ppi = boot.CallPpiMembers();
    record.hook = boot.CallHookMembers();
    record.lan = boot.QueryLanMacs();
  } catch (const std::exception &fault) {
    record.stopped = fault.what();
  }
  RecordState(boot, engine, record);
  Judge(board, record);
  return record;
}

void Judge(const BoardConfig &board, BootRecord &record) {
  const ExpectedBoot expected = ExpectedOutcome(board);
  record.scoreboard = Compare(expected.outcome, SeenOutcome(record));
  record.injected = expected.injected;
}

void RecordState(Boot &boot, const Engine &engine, BootRecord &record) {
  record.engine = engine.Name();
  RecordOutcome(boot, record);
}

void RecordOutcome(Boot &boot, BootRecord &record) {
  RecordResults(boot, record);
  record.problems = boot.Problems();
  record.instructions = boot.Instructions();
  record.trace = boot.GetTrace().PrintedLines();
  record.traceEntries = boot.GetTrace().NamedEntries();
}

void RecordResults(Boot &boot, BootRecord &record) {
  const BoardConfig &board = boot.Board();
  record.board = board.name;
  record.description = board.description;
  record.pchDeviceId = board.pchDeviceId;
  for (unsigned i = 0; i < kRiserPads; ++i)
    record.riserPadReadings[i] = {boot.Hardware().PadOwner(kRiserPad0 + i), boot.Hardware().PadLevel(kRiserPad0 + i)};

  record.peiStatus = boot.PeiStatus();
  for (const auto &ppi : boot.Pei().Ppis())
    if (ppi.byModule) record.ppisInstalled.push_back(GuidName(ppi.guid));
  const auto &tokens = boot.Pei().PcdTokens();
  if (const auto token = tokens.find(kBoardNameToken); token != tokens.end()) record.pcdBoardName = token->second;
  record.laneWrites = boot.Hardware().LaneWrites();

  record.dxeStatus = boot.DxeStatus();
  record.setupTexts = boot.Services().SetupWrites();
  record.slotsDeleted = boot.Services().DeletedSlots();
  record.slotsKept = boot.Services().RemainingSlots();
  record.commands.clear();
  for (const PciEndpoint &endpoint : board.endpoints)
    record.commands.push_back(
        {endpoint.bus, boot.Hardware().CommandRegister(endpoint.bus), boot.Hardware().CommandWrites(endpoint.bus)});
}

}  // namespace boardsim
