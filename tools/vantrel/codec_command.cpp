// vantrel codec encode|decode --header-length H IN OUT
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "commands.h"
#include "screen/screen_codec.h"

namespace vantrel::cli {
namespace {

// The viewer decodes every rectangle into a buffer of this size, so the tool refuses what the
// viewer would.
constexpr std::size_t kDecodeBufferSize = 5'283'840;

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::optional<std::uint32_t> parseHeaderLength(const std::string& text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
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

int runCodec(Args args) {
  if (args.size() != 5 || (args[0] != "encode" && args[0] != "decode") || args[1] != "--header-length") {
    return fail("codec", "usage: vantrel codec encode|decode --header-length H IN OUT");
  }
  const auto headerLength = parseHeaderLength(args[2]);
  if (!headerLength) return fail("codec", "'" + args[2] + "' is not a header length");
  const auto source = readFile(args[3]);
  if (!source) return fail("codec", "cannot read " + args[3]);
  if (source->empty()) return fail("codec", args[3] + " is empty");

  const bool encoding = args[0] == "encode";
  // Every pixel a fill run of its own costs at most twice its bytes (one-byte pixels).
  std::vector<std::uint8_t> out(encoding ? 2 * source->size() : kDecodeBufferSize);
  ScreenCodec codec;
  const std::int32_t length = encoding ? codec.encode(*source, out, *headerLength)
                                       : codec.decode(*source, out, *headerLength);
  if (length < 0) return fail("codec", refusal(length, args[3], out.size()));
  if (!writeFile(args[4], std::span(out).first(static_cast<std::size_t>(length)))) {
    return fail("codec", "cannot write " + args[4]);
  }
  return 0;
}

}  // namespace vantrel::cli
