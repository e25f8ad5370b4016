// One ordered record of everything observable on the simulated board:
// register accesses, service calls, notifications and unexpected events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace boardsim {

struct TraceEntry {
  enum class Kind : std::uint8_t { Read, Write, Call, Notify, Event, Unexpected };

  Kind kind = Kind::Call;
  unsigned width = 0;         // register accesses: 8, 16, 32 or 64 bits
  std::uint64_t address = 0;  // register accesses
  std::uint64_t value = 0;    // register accesses
  std::string text;           // calls, notifications, unexpected events
  // Register accesses: what the register is, as the hardware model that
  // answered names it ("GPP_K pad ownership, pads 0-7"); "unclaimed: ..."
  // when no model answers for the address. Filled in the entries of
  // Trace::NamedEntries; empty in Trace::Entries while the namer is asked
  // later (named).
  std::string what;
  bool named = false;  // what is the register namer's to say

  // "R32 0xFD6B0020 = 0x00000000", "W8 0xE1200004 = 0x07", or the text for
  // the other kinds, prefixed "call ", "notify ", "event " or "unexpected ".
  std::string ToString() const;
  // As printed: ToString() with what the register is in a trailing column,
  // "R32 0xFD6B0020 = 0x00000000  GPP_K pad ownership, pads 0-7".
  std::string Line() const;
};

// What a register is, from its address and access width in bits.
using RegisterNamer = std::function<std::string(std::uint64_t address, unsigned width)>;

class Trace {
 public:
  Trace() = default;
  // The namer belongs to the hardware model of this trace's board.
  Trace(const Trace &) = delete;
  Trace &operator=(const Trace &) = delete;

  void Read(unsigned width, std::uint64_t address, std::uint64_t value, std::string what = {});
  void Write(unsigned width, std::uint64_t address, std::uint64_t value, std::string what = {});
  // A register access whose description the namer gives when the printed
  // text is asked for: a boot that nobody prints formats none.
  void NamedRead(unsigned width, std::uint64_t address, std::uint64_t value);
  void NamedWrite(unsigned width, std::uint64_t address, std::uint64_t value);
  // Names the accesses recorded so far with the namer they were recorded
  // under, then takes the new one (empty: none).
  void SetRegisterNamer(RegisterNamer namer);
  // A service call is recorded when it starts, so that what it causes
  // (notifications, nested calls) follows it; its result is added on return.
  std::size_t Call(std::string text);
  void Complete(std::size_t index, const std::string &result);
  // Something the board did on its own (another component installing a
  // protocol, the platform signalling an event group).
  void Event(std::string text);
  void Notify(std::string text);
  void Unexpected(std::string text);

  const std::vector<TraceEntry> &Entries() const { return entries_; }
  // The entries with what each register is filled in.
  std::vector<TraceEntry> NamedEntries() const;
  // Every entry as text, in order (register accesses without what they are).
  std::vector<std::string> Lines() const;
  // Every entry as printed (TraceEntry::Line), in order.
  std::vector<std::string> PrintedLines() const;
  // Only register accesses, as text.
  std::vector<std::string> RegisterLines() const;
  std::size_t Mark() const { return entries_.size(); }
  // Text of the entries recorded since a mark.
  std::vector<std::string> LinesSince(std::size_t mark) const;
  std::vector<std::string> Unexpecteds() const;
  // Text of the calls (without the "call " prefix), in order.
  std::vector<std::string> Calls() const;
  void Clear() { entries_.clear(); }

 private:
  std::string WhatOf(const TraceEntry &entry) const;
  void NameAll(std::vector<TraceEntry> &entries) const;

  std::vector<TraceEntry> entries_;
  RegisterNamer namer_;
};

}  // namespace boardsim
