// gdb's remote serial protocol on the wire: "$payload#cs" packets, the
// acknowledgements, the interrupt byte, and the encodings packets carry
// (hex pairs, escaped binary). Nothing here knows what a packet means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::gdb {

// The longest payload either side sends; advertised to gdb as PacketSize.
inline constexpr std::size_t kMaxPacket = 4096;

// What the bytes from the client amounted to.
struct Incoming {
  enum class Kind : std::uint8_t {
    Packet,       // a well-formed packet: payload holds it as sent
    BadChecksum,  // answer with '-' so that gdb sends it again
    Oversized,    // longer than kMaxPacket: refused, its bytes dropped
    Interrupt,    // the 0x03 byte gdb sends for Ctrl-C
  };
  Kind kind = Kind::Packet;
  std::string payload;
};

// Cuts a byte stream into packets. Keeps at most kMaxPacket bytes of one
// packet, whatever the client sends.
class PacketReader {
 public:
  // Feeds received bytes; complete items are appended to out.
  void Feed(std::string_view bytes, std::vector<Incoming> &out);

 private:
  enum class State : std::uint8_t { Between, Payload, Checksum1, Checksum2 };
  State state_ = State::Between;
  std::string payload_;
  bool oversized_ = false;
  std::uint8_t sum_ = 0;
  int given_ = 0;
};

// "$payload#cs", with '$', '#', '}' and '*' in the payload escaped.
std::string Frame(std::string_view payload);
std::uint8_t Checksum(std::string_view bytes);

// Two lowercase hex digits per byte.
std::string ToHex(std::span<const std::uint8_t> bytes);
std::string ToHex(std::string_view text);
// Bytes from hex pairs; empty optional if the text is not whole hex pairs.
std::optional<std::vector<std::uint8_t>> FromHex(std::string_view hex);
// A number in hex (no prefix), at most 16 digits; empty optional otherwise.
std::optional<std::uint64_t> ParseHexNumber(std::string_view hex);
// The binary data of an X packet: "}" escapes the next byte (xor 0x20).
std::optional<std::vector<std::uint8_t>> Unescape(std::string_view data);

// Splits "a,b" at the first separator; empty optional if it is absent.
std::optional<std::pair<std::string_view, std::string_view>> SplitAt(std::string_view text, char separator);

}  // namespace boardsim::gdb
