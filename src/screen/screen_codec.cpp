#include "screen/screen_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "protocol/byte_io.h"

namespace vantrel {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kMarkerOffset = 3;
constexpr std::uint8_t kMarker = '7';
constexpr std::size_t kWidthOffset = 4;
constexpr std::size_t kBitCountOffset = 14;
constexpr std::size_t kSizeImageOffset = 20;
constexpr std::size_t kMaskBytes = 12;
constexpr std::array<std::uint32_t, 3> k565Masks = {0xF800, 0x07E0, 0x001F};

constexpr std::size_t kMaxRun = 63;  // a count has the six low bits of the code byte
constexpr std::uint8_t kAboveRight = 0x40;
constexpr std::uint8_t kAbove = 0x80;
constexpr std::uint8_t kAboveLeft = 0xC0;

// Results are i32, so a larger destination is only used up to that size.
constexpr std::size_t kMaxBlock = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// Bytes per pixel from biBitCount / 8, or 0 when the header selects no pixel processing.
std::size_t pixelSize(const std::uint8_t* header) {
  const std::size_t quotient = loadU16le(header + kBitCountOffset) / 8u;
  if (quotient <= 1) return 1;
  return quotient <= 4 ? quotient : 0;
}

std::int32_t widthOf(const std::uint8_t* header) {
  return static_cast<std::int32_t>(loadU32le(header + kWidthOffset));
}

// How many leading bytes of a and b agree, looking at no more than limit bytes of either.
// Eight bytes at a time: the run tests are the encoder's inner loop.
std::size_t commonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t k = 0;
  for (; k + 8 <= limit; k += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a + k, 8);
    std::memcpy(&y, b + k, 8);
    if (const std::uint64_t diff = x ^ y; diff != 0) {
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(diff)
                                                                 : std::countl_zero(diff);
      return k + static_cast<std::size_t>(bit / 8);
    }
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

// Leading pixels of a equal to those of b, at most limit.
template <std::size_t P>
std::size_t equalPixels(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  return commonPrefix(a, b, limit * P) / P;
}

// The pixel at px and the following ones equal to it, at most limit (at least 1).
template <std::size_t P>
std::size_t fillLength(const std::uint8_t* px, std::size_t limit) {
  return 1 + equalPixels<P>(px + P, px, limit - 1);
}

template <std::size_t P, bool Reduce>
std::uint8_t* emitFill(std::uint8_t* out, std::size_t n, const std::uint8_t* px) {
  *out++ = static_cast<std::uint8_t>(n);
  if constexpr (Reduce) {
    storeU16le(out, ScreenCodec::pack565(loadU32le(px)));
    return out + 2;
  } else {
    std::memcpy(out, px, P);
    return out + P;
  }
}

// Codes whole rows of `width` pixels; returns the bytes written. The caller has checked that
// out holds a single-pixel fill entry for every pixel.
template <std::size_t P, bool Reduce>
std::size_t encodeRows(const std::uint8_t* px, std::size_t width, std::size_t rows, std::uint8_t* out) {
  std::uint8_t* const start = out;
  // The first row has nothing above it: fill runs only.
  for (std::size_t left = width; left > 0;) {
    const std::size_t n = fillLength<P>(px, std::min(kMaxRun, left));
    out = emitFill<P, Reduce>(out, n, px);
    px += n * P;
    left -= n;
  }
  const std::size_t above = width * P;
  for (std::size_t row = 1; row < rows; ++row) {
    for (std::size_t left = width; left > 0;) {  // left: pixels to the end of this row
      const std::size_t limit = std::min(kMaxRun, left);
      std::uint8_t kind = kAbove;
      std::size_t n = equalPixels<P>(px, px - above, limit);
      if (n == 0 && left < width) {  // not at the row start
        kind = kAboveLeft;
        n = equalPixels<P>(px, px - above - P, limit);
      }
      if (n == 0 && left > 1) {  // not at the row end
        kind = kAboveRight;
        n = equalPixels<P>(px, px - above + P, limit);
      }
      if (n > 0) {
        *out++ = static_cast<std::uint8_t>(kind | n);
      } else {
        n = fillLength<P>(px, limit);
        out = emitFill<P, Reduce>(out, n, px);
      }
      px += n * P;
      left -= n;
    }
  }
  return static_cast<std::size_t>(out - start);
}

using RowEncoder = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t, std::uint8_t*);

RowEncoder rowEncoder(std::size_t pixel, bool reduce32) {
  switch (pixel) {
    case 1: return encodeRows<1, false>;
    case 2: return encodeRows<2, false>;
    case 3: return encodeRows<3, false>;
    default: return reduce32 ? encodeRows<4, true> : encodeRows<4, false>;
  }
}

void reduceHeaderTo565(std::uint8_t* header, std::size_t headerLength) {
  storeU16le(header + kBitCountOffset, 16);
  storeU32le(header + kSizeImageOffset, loadU32le(header + kSizeImageOffset) >> 1);
  std::uint8_t* mask = header + headerLength - kMaskBytes;
  for (const auto m : k565Masks) {
    storeU32le(mask, m);
    mask += 4;
  }
}

std::int32_t encodeBlock(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                         std::size_t headerLength, bool reduce32) {
  if (destination.empty()) return ScreenCodec::kAlreadyCompressed;
  if (source.size() <= kMarkerOffset) return ScreenCodec::kMalformed;
  if (source[kMarkerOffset] == kMarker) return ScreenCodec::kAlreadyCompressed;
  if (headerLength < kInfoHeaderSize || headerLength > source.size()) return ScreenCodec::kMalformed;

  const std::uint8_t* header = source.data();
  const std::size_t pixel = pixelSize(header);
  const bool reduce = reduce32 && pixel == 4;
  std::size_t width = 0;
  std::size_t rows = 0;
  if (pixel != 0) {
    const std::int32_t w = widthOf(header);
    const std::size_t count = (source.size() - headerLength) / pixel;
    if (w < 1 || count < static_cast<std::size_t>(w)) return ScreenCodec::kMalformed;
    width = static_cast<std::size_t>(w);
    rows = count / width;
  }
  // The longest stream codes every pixel as a fill run of its own.
  const std::uint64_t entry = 1 + (reduce ? 2 : pixel);
  const std::uint64_t worst = headerLength + std::uint64_t{rows} * width * entry;
  if (worst > std::min(destination.size(), kMaxBlock)) return ScreenCodec::kNoRoom;

  std::uint8_t* out = destination.data();
  std::memcpy(out, header, headerLength);
  out[kMarkerOffset] = kMarker;
  if (pixel == 0) return static_cast<std::int32_t>(headerLength);
  if (reduce) reduceHeaderTo565(out, headerLength);
  const std::size_t coded = rowEncoder(pixel, reduce)(header + headerLength, width, rows, out + headerLength);
  return static_cast<std::int32_t>(headerLength + coded);
}

template <std::size_t P>
void fillPixels(std::uint8_t* to, const std::uint8_t* value, std::size_t n) {
  if constexpr (P == 1) {
    std::memset(to, *value, n);
  } else {
    std::array<std::uint8_t, P> v{};
    std::memcpy(v.data(), value, P);  // a local copy: stores to `to` cannot change it
    for (std::size_t k = 0; k < n; ++k) std::memcpy(to + k * P, v.data(), P);
  }
}

// Copies length bytes from distance bytes back; when the two overlap, byte by byte in
// increasing order, so a run may repeat pixels it has itself just written.
void copyForward(std::uint8_t* to, std::size_t distance, std::size_t length) {
  const std::uint8_t* from = to - distance;
  if (distance >= length) {
    std::memcpy(to, from, length);
  } else {
    for (std::size_t k = 0; k < length; ++k) to[k] = from[k];
  }
}

// Pixel distance of each copy kind (by the code's two top bits), 0 where the reference would
// not lie before the current pixel.
using Distances = std::array<std::size_t, 4>;

Distances copyDistances(std::int32_t width) {
  Distances d{};
  for (std::size_t kind = 1; kind < 4; ++kind) {
    const std::int64_t back = std::int64_t{width} + static_cast<std::int64_t>(kind) - 2;
    d[kind] = back > 0 ? static_cast<std::size_t>(back) : 0;
  }
  return d;
}

// Expands the stream into room pixels at out; returns the bytes written or a failure code.
template <std::size_t P>
std::int32_t decodeStream(std::span<const std::uint8_t> stream, const Distances& distances,
                          std::uint8_t* out, std::size_t room) {
  const std::uint8_t* in = stream.data();
  const std::uint8_t* const end = in + stream.size();
  std::size_t i = 0;
  while (in != end) {
    const std::uint8_t c = *in++;
    const std::size_t n = c & kMaxRun;
    std::uint8_t* const to = out + i * P;
    if (c < kAboveRight) {
      if (static_cast<std::size_t>(end - in) < P) return ScreenCodec::kMalformed;
      if (n > room - i) return ScreenCodec::kNoRoom;
      fillPixels<P>(to, in, n);
      in += P;
    } else {
      const std::size_t distance = distances[c >> 6];
      if (n != 0 && (distance == 0 || distance > i)) return ScreenCodec::kMalformed;
      if (n > room - i) return ScreenCodec::kNoRoom;
      copyForward(to, distance * P, n * P);
    }
    i += n;
  }
  return static_cast<std::int32_t>(i * P);
}

using StreamDecoder = std::int32_t (*)(std::span<const std::uint8_t>, const Distances&, std::uint8_t*,
                                       std::size_t);

StreamDecoder streamDecoder(std::size_t pixel) {
  switch (pixel) {
    case 1: return decodeStream<1>;
    case 2: return decodeStream<2>;
    case 3: return decodeStream<3>;
    default: return decodeStream<4>;
  }
}

}  // namespace

std::int32_t ScreenCodec::encode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                 std::uint32_t headerLength) {
  return encodeBlock(source, destination, headerLength, true);
}

std::int32_t ScreenCodec::encodeFullDepth(std::span<const std::uint8_t> source,
                                          std::span<std::uint8_t> destination, std::uint32_t headerLength) {
  return encodeBlock(source, destination, headerLength, false);
}

std::int32_t ScreenCodec::decode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                 std::uint32_t headerLength) {
  if (destination.empty()) return kNotCompressed;
  if (source.size() <= kMarkerOffset) return kMalformed;
  if (source[kMarkerOffset] != kMarker) return kNotCompressed;
  if (headerLength < kInfoHeaderSize || headerLength > source.size()) return kMalformed;
  const std::size_t capacity = std::min(destination.size(), kMaxBlock);
  if (headerLength > capacity) return kNoRoom;

  std::uint8_t* out = destination.data();
  std::memcpy(out, source.data(), headerLength);
  out[kMarkerOffset] = 0;
  const std::size_t pixel = pixelSize(source.data());
  if (pixel == 0) return static_cast<std::int32_t>(headerLength);

  const std::int32_t written =
      streamDecoder(pixel)(source.subspan(headerLength), copyDistances(widthOf(source.data())),
                           out + headerLength, (capacity - headerLength) / pixel);
  return written < 0 ? written : static_cast<std::int32_t>(headerLength) + written;
}

}  // namespace vantrel
