#include "sim/base/trace.h"

#include <cstdio>

namespace boardsim {
namespace {

std::string Printed(const TraceEntry &entry, const std::string &what) {
  return what.empty() ? entry.ToString() : entry.ToString() + "  " + what;
}

}  // namespace

std::string TraceEntry::ToString() const {
  switch (kind) {
    case Kind::Read:
    case Kind::Write: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%c%u 0x%08llX = 0x%0*llX", kind == Kind::Read ? 'R' : 'W', width,
                    static_cast<unsigned long long>(address), static_cast<int>(width / 4),
                    static_cast<unsigned long long>(value));
      return buffer;
    }
    case Kind::Call:
      return "call " + text;
    case Kind::Notify:
      return "notify " + text;
    case Kind::Event:
      return "event " + text;
    case Kind::Unexpected:
      return "unexpected " + text;
  }
  return text;
}

std::string TraceEntry::Line() const { return Printed(*this, what); }

void Trace::Read(unsigned width, std::uint64_t address, std::uint64_t value, std::string what) {
  entries_.push_back({TraceEntry::Kind::Read, width, address, value, {}, std::move(what)});
}

void Trace::Write(unsigned width, std::uint64_t address, std::uint64_t value, std::string what) {
  entries_.push_back({TraceEntry::Kind::Write, width, address, value, {}, std::move(what)});
}

void Trace::NamedRead(unsigned width, std::uint64_t address, std::uint64_t value) {
  entries_.push_back({TraceEntry::Kind::Read, width, address, value, {}, {}, true});
}

void Trace::NamedWrite(unsigned width, std::uint64_t address, std::uint64_t value) {
  entries_.push_back({TraceEntry::Kind::Write, width, address, value, {}, {}, true});
}

void Trace::SetRegisterNamer(RegisterNamer namer) {
  NameAll(entries_);
  namer_ = std::move(namer);
}

void Trace::NameAll(std::vector<TraceEntry> &entries) const {
  for (TraceEntry &entry : entries) {
    if (!entry.named) continue;
    entry.what = WhatOf(entry);
    entry.named = false;
  }
}

std::string Trace::WhatOf(const TraceEntry &entry) const {
  return entry.named && namer_ ? namer_(entry.address, entry.width) : entry.what;
}

std::vector<TraceEntry> Trace::NamedEntries() const {
  std::vector<TraceEntry> entries = entries_;
  NameAll(entries);
  return entries;
}

std::size_t Trace::Call(std::string text) {
  entries_.push_back({TraceEntry::Kind::Call, 0, 0, 0, std::move(text), {}});
  return entries_.size() - 1;
}

void Trace::Complete(std::size_t index, const std::string &result) { entries_.at(index).text += " = " + result; }

void Trace::Event(std::string text) { entries_.push_back({TraceEntry::Kind::Event, 0, 0, 0, std::move(text), {}}); }

void Trace::Notify(std::string text) { entries_.push_back({TraceEntry::Kind::Notify, 0, 0, 0, std::move(text), {}}); }

void Trace::Unexpected(std::string text) {
  entries_.push_back({TraceEntry::Kind::Unexpected, 0, 0, 0, std::move(text), {}});
}

std::vector<std::string> Trace::Lines() const { return LinesSince(0); }

std::vector<std::string> Trace::LinesSince(std::size_t mark) const {
  std::vector<std::string> lines;
  for (std::size_t i = mark; i < entries_.size(); ++i) lines.push_back(entries_[i].ToString());
  return lines;
}

std::vector<std::string> Trace::PrintedLines() const {
  std::vector<std::string> lines;
  for (const auto &entry : entries_) lines.push_back(Printed(entry, WhatOf(entry)));
  return lines;
}

std::vector<std::string> Trace::RegisterLines() const {
  std::vector<std::string> lines;
  for (const auto &entry : entries_)
    if (entry.kind == TraceEntry::Kind::Read || entry.kind == TraceEntry::Kind::Write)
      lines.push_back(entry.ToString());
  return lines;
}

std::vector<std::string> Trace::Calls() const {
  std::vector<std::string> lines;
  for (const auto &entry : entries_)
    if (entry.kind == TraceEntry::Kind::Call) lines.push_back(entry.text);
  return lines;
}

std::vector<std::string> Trace::Unexpecteds() const {
  std::vector<std::string> lines;
  for (const auto &entry : entries_)
    if (entry.kind == TraceEntry::Kind::Unexpected) lines.push_back(entry.ToString());
  return lines;
}

}  // namespace boardsim
