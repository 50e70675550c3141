// vantrel codec encode|decode [--header-length H] IN OUT
// encode takes a BMP file as it is (its header says where the pixels start) or a plain block;
// decode writes the plain block, or a BMP file when OUT's name ends in .bmp.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

#include "bmp_file.h"
#include "catalog/whole_file.h"
#include "commands.h"
#include "screen/screen_codec.h"

namespace vantrel::cli {
namespace {

constexpr const char* kCommand = "codec";

// The viewer decodes every rectangle into a buffer of this size, so the tool refuses what the
// viewer would.
constexpr std::size_t kDecodeBufferSize = 5'283'840;

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

bool namesBmpFile(std::string path) {
  std::transform(path.begin(), path.end(), path.begin(), [](unsigned char c) { return std::tolower(c); });
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".bmp") == 0;
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

// The block to work on and its header length: a BMP file's own, or the bytes as they are with
// --header-length. Nothing, and why in `error`, when neither fits.
std::optional<PlainBlock> input(const CodecSettings& s, std::vector<std::uint8_t> bytes, bool encoding,
                                std::string& error) {
  if (!isBmpFile(bytes)) {
    if (!s.headerLength) {
      error = "--header-length is needed: " + s.in + " is no BMP file, whose header would say it";
      return std::nullopt;
    }
    return PlainBlock{std::move(bytes), *s.headerLength};
  }
  if (!encoding) {
    error = s.in + " is a BMP file, not a compressed block";
    return std::nullopt;
  }
  auto block = blockOfBmpFile(bytes, error);
  if (!block) {
    error = "cannot encode the BMP file " + s.in + ": " + error;
  } else if (s.headerLength && *s.headerLength != block->headerLength) {
    error = s.in + " is a BMP file, whose pixels follow a header of " + std::to_string(block->headerLength) +
            " bytes; leave out --header-length";
    block.reset();
  }
  return block;
}

}  // namespace

int runCodec(const CodecSettings& s) {
  const auto bytes = readWholeFile(s.in);
  if (!bytes) return fail(kCommand, "cannot read " + s.in);
  if (bytes->empty()) return fail(kCommand, s.in + " is empty");
  const bool encoding = s.direction == "encode";
  std::string error;
  const auto source = input(s, std::vector<std::uint8_t>(bytes->begin(), bytes->end()), encoding, error);
  if (!source) return fail(kCommand, error);

  // Every pixel a fill run of its own costs at most twice its bytes (one-byte pixels).
  std::vector<std::uint8_t> out(encoding ? 2 * source->bytes.size() : kDecodeBufferSize);
  ScreenCodec codec;
  const std::int32_t length = encoding ? codec.encode(source->bytes, out, source->headerLength)
                                       : codec.decode(source->bytes, out, source->headerLength);
  if (length < 0) return fail(kCommand, refusal(length, s.in, out.size()));
  out.resize(static_cast<std::size_t>(length));
  if (!encoding && namesBmpFile(s.out)) out = bmpFileOfBlock(out, source->headerLength);
  if (!writeFile(s.out, out)) return fail(kCommand, "cannot write " + s.out);
  // The block does not carry its header's length, which decoding needs.
  if (encoding) std::printf("%s: a header of %u bytes (decode's --header-length)\n", s.out.c_str(), source->headerLength);
  return kExitOk;
}

}  // namespace vantrel::cli
