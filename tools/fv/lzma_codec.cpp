#include "tools/fv/lzma_codec.h"

#include <lzma.h>

#include <cstdint>
#include <memory>
#include <string>

#include "sim/image/byte_reader.h"
#include "tools/fv/fv_error.h"

namespace boardfv {

namespace {

// Preset 6 with a 16 MiB dictionary: the whole unpacked volume set fits in
// one window, as in the images we patch.
inline constexpr std::uint32_t kPreset = 6;
inline constexpr std::uint32_t kDictionarySize = 16u << 20;

struct StreamEnd {
  void operator()(lzma_stream *stream) const { lzma_end(stream); }
};

// Runs `stream` over all of `input`, appending to `output`.
lzma_ret Run(lzma_stream &stream, std::span<const std::uint8_t> input, std::vector<std::uint8_t> &output) {
  stream.next_in = input.data();
  stream.avail_in = input.size();
  std::size_t produced = output.size();
  lzma_ret result = LZMA_OK;
  while (result == LZMA_OK) {
    if (produced == output.size()) output.resize(output.size() + (1u << 20));
    stream.next_out = output.data() + produced;
    stream.avail_out = output.size() - produced;
    result = lzma_code(&stream, LZMA_FINISH);
    produced = output.size() - stream.avail_out;
  }
  output.resize(produced);
  return result;
}

// liblzma's status as its own word, for messages.
std::string StatusName(lzma_ret status) {
  switch (status) {
    case LZMA_OK:
      return "LZMA_OK";
    case LZMA_STREAM_END:
      return "LZMA_STREAM_END";
    case LZMA_NO_CHECK:
      return "LZMA_NO_CHECK";
    case LZMA_UNSUPPORTED_CHECK:
      return "LZMA_UNSUPPORTED_CHECK";
    case LZMA_GET_CHECK:
      return "LZMA_GET_CHECK";
    case LZMA_MEM_ERROR:
      return "LZMA_MEM_ERROR (out of memory)";
    case LZMA_MEMLIMIT_ERROR:
      return "LZMA_MEMLIMIT_ERROR (the dictionary needs more memory than allowed)";
    case LZMA_FORMAT_ERROR:
      return "LZMA_FORMAT_ERROR (not an LZMA header)";
    case LZMA_OPTIONS_ERROR:
      return "LZMA_OPTIONS_ERROR (unsupported properties)";
    case LZMA_DATA_ERROR:
      return "LZMA_DATA_ERROR (corrupt data)";
    case LZMA_BUF_ERROR:
      return "LZMA_BUF_ERROR (the data is cut off)";
    case LZMA_PROG_ERROR:
      return "LZMA_PROG_ERROR";
    default:
      return "liblzma status " + std::to_string(status);
  }
}

}  // namespace

std::vector<std::uint8_t> LzmaDecompress(std::span<const std::uint8_t> stream, std::uint64_t budget) {
  if (stream.size() < kLzmaHeaderSize) {
    throw FvError("the LZMA data (" + boardimage::Hex(stream.size()) + " bytes) is shorter than its 13-byte header");
  }
  const boardimage::ByteReader reader(stream);
  const std::uint32_t dictionary = reader.U32(1, "LZMA header dictionary size");
  if (dictionary > kMaxDictionarySize) {
    throw FvError("the LZMA header asks for a " + boardimage::Hex(dictionary) + "-byte dictionary, more than the " +
                  boardimage::Hex(kMaxDictionarySize) + " allowed");
  }
  const std::uint64_t size = reader.U64(5, "LZMA header uncompressed size");
  if (size == UINT64_MAX) throw FvError("the LZMA header does not give the uncompressed size");
  if (size > budget) {
    throw FvError("the LZMA header claims " + boardimage::Hex(size) + " unpacked bytes, more than the " +
                  boardimage::Hex(budget) + " left of this run's unpacking budget");
  }
  lzma_stream decoder = LZMA_STREAM_INIT;
  if (const lzma_ret started = lzma_alone_decoder(&decoder, kDecoderMemoryLimit); started != LZMA_OK)
    throw FvError("liblzma cannot start a decoder: " + StatusName(started));
  const std::unique_ptr<lzma_stream, StreamEnd> end(&decoder);
  std::vector<std::uint8_t> data;
  data.reserve(size);
  const lzma_ret result = Run(decoder, stream, data);
  if (result != LZMA_STREAM_END || data.size() != size) {
    throw FvError("the LZMA data does not decode (" + StatusName(result) + ", " + std::to_string(data.size()) + " of " +
                  std::to_string(size) + " bytes)");
  }
  return data;
}

std::vector<std::uint8_t> LzmaCompress(std::span<const std::uint8_t> data) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, kPreset)) throw FvError("liblzma does not know preset " + std::to_string(kPreset));
  options.dict_size = kDictionarySize;
  const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream encoder = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&encoder, filters) != LZMA_OK) throw FvError("liblzma cannot start an LZMA1 encoder");
  const std::unique_ptr<lzma_stream, StreamEnd> end(&encoder);

  std::vector<std::uint8_t> stream(kLzmaHeaderSize, 0);
  stream[0] = static_cast<std::uint8_t>((options.pb * 5 + options.lp) * 9 + options.lc);
  boardimage::PutU32(stream, 1, options.dict_size);
  boardimage::PutU64(stream, 5, data.size());
  const lzma_ret result = Run(encoder, data, stream);
  if (result != LZMA_STREAM_END) throw FvError("liblzma failed to compress: " + StatusName(result));
  return stream;
}

}  // namespace boardfv
