// vantrel codec encode|decode --header-length H IN OUT
#include <fstream>
#include <optional>
#include <vector>

#include "catalog/whole_file.h"
#include "commands.h"
#include "screen/screen_codec.h"

namespace vantrel::cli {
namespace {

// The viewer decodes every rectangle into a buffer of this size, so the tool refuses what the
// viewer would.
constexpr std::size_t kDecodeBufferSize = 5'283'840;

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string refusal(std::int32_t result, const std::string& in, std::size_t capacity) {
  switch (result) {
    case ScreenCodec::kAlreadyCompressed: return in + " is already compressed (byte 3 is '7')";
    case ScreenCodec::kNotCompressed: return in + " is not a compressed block (byte 3 is not '7')";
    case ScreenCodec::kMalformed:
      return in + " is malformed: a header under 40 bytes or longer than the file, less than one "
                  "whole row, or a stream cut short or copying from before its first pixel";
    default: return "the result would not fit in " + std::to_string(capacity) + " bytes";
  }
}

}  // namespace

int runCodec(const CodecSettings& s) {
  const auto bytes = readWholeFile(s.in);
  if (!bytes) return fail("codec", "cannot read " + s.in);
  if (bytes->empty()) return fail("codec", s.in + " is empty");
  const std::vector<std::uint8_t> source(bytes->begin(), bytes->end());

  const bool encoding = s.direction == "encode";
  // Every pixel a fill run of its own costs at most twice its bytes (one-byte pixels).
  std::vector<std::uint8_t> out(encoding ? 2 * source.size() : kDecodeBufferSize);
  ScreenCodec codec;
  const std::int32_t length = encoding ? codec.encode(source, out, s.headerLength)
                                       : codec.decode(source, out, s.headerLength);
  if (length < 0) return fail("codec", refusal(length, s.in, out.size()));
  if (!writeFile(s.out, std::span(out).first(static_cast<std::size_t>(length)))) {
    return fail("codec", "cannot write " + s.out);
  }
  return kExitOk;
}

}  // namespace vantrel::cli
