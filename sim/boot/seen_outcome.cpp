#include "sim/boot/seen_outcome.h"

namespace boardsim {
namespace {

MacListOutcome ListOf(const MacList &list) { return {list.count, list.addresses}; }

}  // namespace

Outcome SeenOutcome(const BootRecord &record) {
  Outcome seen;
  seen.peiStatus = record.peiStatus;
  seen.ppisInstalled = record.ppisInstalled;
  seen.pcdBoardName = record.pcdBoardName;
  for (const auto &write : record.laneWrites) seen.laneWrites.push_back({write.port, write.offset, write.value});
  if (record.ppi)
    seen.ppi = PpiOutcome{record.ppi->members, record.ppi->boardInfoStatus, record.ppi->info, record.ppi->flag};

  seen.dxeStatus = record.dxeStatus;
  for (const auto &text : record.setupTexts) seen.setupTexts.push_back({text.name, text.token, text.text});
  seen.slotsDeleted = record.slotsDeleted;
  seen.slotsKept = record.slotsKept;
  if (record.hook) seen.hook = HookOutcome{record.hook->members};
  if (record.lan) seen.lan = LanOutcome{record.lan->status, ListOf(record.lan->first), ListOf(record.lan->second)};
  seen.commands = record.commands;
  return seen;
}

}  // namespace boardsim
