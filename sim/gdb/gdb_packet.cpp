#include "sim/gdb/gdb_packet.h"

namespace boardsim::gdb {
namespace {

constexpr char kInterrupt = 0x03;
constexpr char kEscape = '}';
constexpr std::uint8_t kEscapeXor = 0x20;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void PacketReader::Feed(std::string_view bytes, std::vector<Incoming> &out) {
  for (const char c : bytes) {
    switch (state_) {
      case State::Between:
        // Acknowledgements and stray bytes between packets mean nothing here.
        if (c == '$') {
          state_ = State::Payload;
          payload_.clear();
          oversized_ = false;
          sum_ = 0;
        } else if (c == kInterrupt) {
          out.push_back({Incoming::Kind::Interrupt, {}});
        }
        break;
      case State::Payload:
        if (c == '#') {
          state_ = State::Checksum1;
        } else {
          sum_ = static_cast<std::uint8_t>(sum_ + static_cast<std::uint8_t>(c));
          if (payload_.size() < kMaxPacket)
            payload_.push_back(c);
          else
            oversized_ = true;
        }
        break;
      case State::Checksum1:
        given_ = HexDigit(c) < 0 ? -1 : HexDigit(c) << 4;
        state_ = State::Checksum2;
        break;
      case State::Checksum2: {
        state_ = State::Between;
        const bool good = given_ >= 0 && HexDigit(c) >= 0 && (given_ | HexDigit(c)) == sum_;
        if (oversized_)
          out.push_back({Incoming::Kind::Oversized, {}});
        else if (!good)
          out.push_back({Incoming::Kind::BadChecksum, {}});
        else
          out.push_back({Incoming::Kind::Packet, std::move(payload_)});
        payload_.clear();
        break;
      }
    }
  }
}

std::uint8_t Checksum(std::string_view bytes) {
  std::uint8_t sum = 0;
  for (const char c : bytes) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
  return sum;
}

std::string Frame(std::string_view payload) {
  std::string body;
  body.reserve(payload.size() + 8);
  for (const char c : payload) {
    if (c == '$' || c == '#' || c == kEscape || c == '*') {
      body.push_back(kEscape);
      body.push_back(static_cast<char>(c ^ kEscapeXor));
    } else {
      body.push_back(c);
    }
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::uint8_t sum = Checksum(body);
  return "$" + body + "#" + kDigits[sum >> 4] + kDigits[sum & 0xF];
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0xF]);
  }
  return hex;
}

std::string ToHex(std::string_view text) {
  return ToHex(std::span(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()));
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::optional<std::uint64_t> ParseHexNumber(std::string_view hex) {
  if (hex.empty() || hex.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : hex) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

std::optional<std::vector<std::uint8_t>> Unescape(std::string_view data) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] != kEscape) {
      bytes.push_back(static_cast<std::uint8_t>(data[i]));
      continue;
    }
    if (++i == data.size()) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(data[i] ^ kEscapeXor));
  }
  return bytes;
}

std::optional<std::pair<std::string_view, std::string_view>> SplitAt(std::string_view text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos) return std::nullopt;
  return std::pair{text.substr(0, at), text.substr(at + 1)};
}

}  // namespace boardsim::gdb
