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

// Leading bytes that agree between two 8-byte words loaded from memory (8 when all do).
std::size_t sameLeadingBytes(std::uint64_t x, std::uint64_t y) {
  const std::uint64_t diff = x ^ y;
  const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
  return static_cast<std::size_t>(bits / 8);
}

std::uint64_t load64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  std::memcpy(&v, p, 8);
  return v;
}

// Leading P-byte pixels that agree between two words loaded from memory, given their
// exclusive-or (8 / P when all do).
template <std::size_t P>
std::size_t samePixels(std::uint64_t diff) {
  const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
  return static_cast<std::size_t>(bits) / (8 * P);
}

// The bits of a word loaded from memory that hold its first P-byte pixel.
template <std::size_t P>
constexpr std::uint64_t kFirstPixel = std::endian::native == std::endian::little
                                          ? ~std::uint64_t{0} >> (64 - 8 * P)
                                          : ~std::uint64_t{0} << (64 - 8 * P);

std::size_t sameLeadingBytes(const std::uint8_t* a, const std::uint8_t* b) {
  return sameLeadingBytes(load64(a), load64(b));
}

// How many leading bytes of a and b agree, looking at no more than limit bytes of either.
// Thirty-two bytes a step while they agree, with a single test per step, then eight bytes a
// step to find the difference, then the last eight again where that is shorter.
std::size_t commonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t k = 0;
  for (; k + 32 <= limit; k += 32) {
    std::uint64_t diff = 0;
    for (std::size_t j = 0; j < 32; j += 8) diff |= load64(a + k + j) ^ load64(b + k + j);
    if (diff != 0) break;
  }
  for (; k + 8 <= limit; k += 8) {
    if (const std::size_t same = sameLeadingBytes(a + k, b + k); same < 8) return k + same;
  }
  if (k == limit) return k;
  // Overlaps bytes known to agree, so a difference it finds lies at or after k.
  if (limit >= 8) return limit - 8 + sameLeadingBytes(a + limit - 8, b + limit - 8);
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

// How far a run test looks before it knows whether the run needs measuring further.
constexpr std::size_t kProbe = 16;

// The source pixels and how far they may be read: the run tests look at kProbe bytes at once,
// beyond the run they test where the source allows it.
struct Source {
  const std::uint8_t* end;

  // Bytes at a that agree with those `back` bytes before it, up to kProbe (fewer near the end).
  std::size_t probe(const std::uint8_t* a, std::size_t back) const {
    if (end - a >= static_cast<std::ptrdiff_t>(kProbe)) {
      const std::size_t first = sameLeadingBytes(a, a - back);
      const std::size_t second = sameLeadingBytes(a + 8, a + 8 - back);
      return first + (first == 8 ? second : 0);
    }
    return commonPrefix(a, a - back, static_cast<std::size_t>(end - a));
  }
};

// Entry kinds in the order the tests are tried. A fill refers to the pixel before it, from the
// second pixel of the run on, so that every kind measures its run the same way.
enum Kind : std::size_t { kKindAbove, kKindAboveLeft, kKindAboveRight, kKindFill };
constexpr std::array<std::uint8_t, 4> kCodeOf = {kAbove, kAboveLeft, kAboveRight, 0};

// Pixels of the run that starts at `from`, whose pixels match those `back` bytes before
// them, at most limitBytes / P; `same` is the probe at `from`.
template <std::size_t P>
std::size_t matching(const std::uint8_t* from, std::size_t back, std::size_t limitBytes, std::size_t same) {
  if (same < kProbe || limitBytes <= kProbe) return std::min(same, limitBytes) / P;
  return (kProbe + commonPrefix(from + kProbe, from + kProbe - back, limitBytes - kProbe)) / P;
}

// Writes one entry and returns where the next goes. The value bytes are written for every
// kind (a copy's are overwritten by the next entry), so the caller must allow a fill's size.
template <std::size_t P, bool Reduce>
std::uint8_t* emit(std::uint8_t* out, Kind kind, std::size_t n, const std::uint8_t* px) {
  out[0] = static_cast<std::uint8_t>(kCodeOf[kind] | n);
  constexpr std::size_t kValue = Reduce ? 2 : P;
  if constexpr (Reduce) {
    storeU16le(out + 1, ScreenCodec::pack565(loadU32le(px)));
  } else {
    std::memcpy(out + 1, px, P);
  }
  return out + 1 + (kind == kKindFill ? kValue : 0);
}

// Writes the entries of an above-run of n pixels: runs of 63 and one shorter run.
std::uint8_t* emitAbove(std::uint8_t* out, std::size_t n) {
  std::memset(out, kAbove | kMaxRun, n / kMaxRun);
  out += n / kMaxRun;
  if (n % kMaxRun != 0) *out++ = static_cast<std::uint8_t>(kAbove | n % kMaxRun);
  return out;
}

template <std::size_t P>
std::size_t fillRun(const Source& source, const std::uint8_t* px, std::size_t limit) {
  return 1 + matching<P>(px + P, P, (limit - 1) * P, source.probe(px + P, P));
}

// Codes whole rows of `width` pixels; returns the bytes written. The caller has checked that
// out holds a single-pixel fill entry for every pixel.
template <std::size_t P, bool Reduce>
std::size_t encodeRows(const std::uint8_t* px, const Source& source, std::size_t width, std::size_t rows,
                       std::uint8_t* out) {
  std::uint8_t* const start = out;
  // The first row has nothing above it: fill runs only.
  for (std::size_t left = width; left > 0;) {
    const std::size_t n = fillRun<P>(source, px, std::min(kMaxRun, left));
    out = emit<P, Reduce>(out, kKindFill, n, px);
    px += n * P;
    left -= n;
  }
  const std::size_t up = width * P;
  const std::array<std::size_t, 4> back = {up, up + P, up - P, P};
  // Inside a row (every test allowed, and the row end further than any run the short tests
  // below can see), while eight bytes past the next pixel are there to read.
  constexpr std::size_t kWordPixels = 8 / P;
  const std::uint8_t* const shortEnd = source.end - std::min<std::ptrdiff_t>(source.end - px, 8 + P);
  for (std::size_t row = 1; row < rows; ++row) {
    for (std::size_t left = width; left > 0;) {  // left: pixels to the end of the row
      if (left < width && left > kWordPixels + 1 && px <= shortEnd) {
        // One word of each test, and of the fill's measure, with the choice between them made
        // as a select: which entry comes next varies too much for a branch on it to be
        // predicted, and most runs end inside the word.
        const std::uint64_t here = load64(px);
        const std::uint64_t aboveDiff = here ^ load64(px - back[kKindAbove]);
        const std::uint64_t aboveLeftDiff = here ^ load64(px - back[kKindAboveLeft]);
        const std::uint64_t aboveRightDiff = here ^ load64(px - back[kKindAboveRight]);
        const std::uint64_t fillDiff = here ^ load64(px + P);
        std::uint64_t diff = fillDiff;
        std::size_t n = samePixels<P>(fillDiff) + 1;
        Kind kind = kKindFill;
        if ((aboveRightDiff & kFirstPixel<P>) == 0) n = samePixels<P>(aboveRightDiff), kind = kKindAboveRight, diff = aboveRightDiff;
        if ((aboveLeftDiff & kFirstPixel<P>) == 0) n = samePixels<P>(aboveLeftDiff), kind = kKindAboveLeft, diff = aboveLeftDiff;
        if ((aboveDiff & kFirstPixel<P>) == 0) n = samePixels<P>(aboveDiff), kind = kKindAbove, diff = aboveDiff;
        if (diff == 0) {
          // The whole word agrees: the run goes on past it, measured from there.
          if (kind == kKindAbove) {
            n = (8 + commonPrefix(px + 8, px + 8 - up, left * P - 8)) / P;
            out = emitAbove(out, n);
            px += n * P;
            left -= n;
            continue;
          }
          const std::size_t limit = std::min(kMaxRun, left);
          n = kind == kKindFill ? 1 + (8 + commonPrefix(px + P + 8, px + 8, (limit - 1) * P - 8)) / P
                                : (8 + commonPrefix(px + 8, px + 8 - back[kind], limit * P - 8)) / P;
        }
        out = emit<P, Reduce>(out, kind, n, px);
        px += n * P;
        left -= n;
        continue;
      }
      const std::size_t limit = std::min(kMaxRun, left);
      // Every test, and the fill's measure, at once: which entry comes next varies too much
      // for a branch on it to be predicted, and most runs end inside the probe.
      const std::size_t above = source.probe(px, back[kKindAbove]);
      const std::size_t aboveLeft = left < width ? source.probe(px, back[kKindAboveLeft]) : 0;  // not at the row start
      const std::size_t aboveRight = left > 1 ? source.probe(px, back[kKindAboveRight]) : 0;    // nor at the row end
      const std::size_t fill = source.probe(px + P, back[kKindFill]);
      // Bit k set when test k holds; the lowest set bit is the first test that holds.
      const unsigned holding = (above >= P ? 1u : 0u) | (aboveLeft >= P ? 2u : 0u) | (aboveRight >= P ? 4u : 0u) | 8u;
      const auto kind = static_cast<Kind>(std::countr_zero(holding));
      const std::size_t same = kind == kKindAbove       ? above
                               : kind == kKindAboveLeft ? aboveLeft
                               : kind == kKindAboveRight ? aboveRight
                                                         : fill;
      if (same < kProbe) {
        // The run ends inside the probe (or at the end of the source).
        const std::size_t n = std::min(same / P + (kind == kKindFill ? 1 : 0), limit);
        out = emit<P, Reduce>(out, kind, n, px);
        px += n * P;
        left -= n;
        continue;
      }
      if (kind == kKindAbove) {
        // Above is tried first, so a stretch that matches the row above codes as runs of 63
        // and one shorter run, whatever its length: it is measured once, to the row end.
        const std::size_t n = matching<P>(px, up, left * P, above);
        out = emitAbove(out, n);
        px += n * P;
        left -= n;
        continue;
      }
      const std::size_t n = kind == kKindFill ? 1 + matching<P>(px + P, P, (limit - 1) * P, fill)
                                              : matching<P>(px, back[kind], limit * P, same);
      out = emit<P, Reduce>(out, kind, n, px);
      px += n * P;
      left -= n;
    }
  }
  return static_cast<std::size_t>(out - start);
}

using RowEncoder = std::size_t (*)(const std::uint8_t*, const Source&, std::size_t, std::size_t, std::uint8_t*);

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
  const std::size_t coded = rowEncoder(pixel, reduce)(header + headerLength, Source{source.data() + source.size()}, width, rows, out + headerLength);
  return static_cast<std::int32_t>(headerLength + coded);
}

// From this length on, the library's copy is the faster: it may use wider moves than a
// portable build, and rows repeated from above make moves of many rows at a time.
constexpr std::size_t kLibraryCopy = 256;

// Copies length bytes between regions that do not overlap, in block moves of fixed size
// (overlapping at the end) rather than a byte loop.
void copyDisjoint(std::uint8_t* to, const std::uint8_t* from, std::size_t length) {
  if (length >= kLibraryCopy) {
    std::memcpy(to, from, length);
  } else if (length >= 32) {
    for (std::size_t k = 0; k + 32 < length; k += 32) std::memcpy(to + k, from + k, 32);
    std::memcpy(to + length - 32, from + length - 32, 32);
  } else if (length > 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + length - 16, from + length - 16, 16);
  } else if (length >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  } else {
    for (std::size_t k = 0; k < length; ++k) to[k] = from[k];
  }
}

// Copies length bytes from distance bytes back with the effect of a byte-by-byte copy in
// increasing order: where the two overlap, the run repeats what it has itself just written.
void copyBack(std::uint8_t* to, std::size_t distance, std::size_t length) {
  // What is written repeats with period `distance`, so each step may take everything from
  // `from` up to where it writes: the steps double.
  const std::uint8_t* from = to - distance;
  for (std::size_t done = 0; done < length;) {
    const std::size_t step = std::min(done + distance, length - done);
    copyDisjoint(to + done, from, step);
    done += step;
  }
}

// Writes n copies of a P-byte value.
template <std::size_t P>
void fillPixels(std::uint8_t* to, const std::uint8_t* value, std::size_t n) {
  for (std::size_t k = 0; k < n * P; k += P) std::memcpy(to + k, value, P);
}

// Runs far enough from the end of the destination are written in whole blocks, whatever their
// length: fewer branches than exact lengths, and the bytes written past the run are written
// again by the runs that follow (or lie after the result). A block is a multiple of the pixel
// size, so that a fill pattern stays aligned on pixels.
template <std::size_t P>
constexpr std::size_t kBlock = P == 3 ? 48 : 32;

template <std::size_t P>
void fillBlocks(std::uint8_t* to, const std::uint8_t* value, std::size_t length) {
  std::array<std::uint8_t, kBlock<P>> pattern{};
  for (std::size_t k = 0; k < pattern.size(); k += P) std::memcpy(pattern.data() + k, value, P);
  std::size_t k = 0;
  do {
    std::memcpy(to + k, pattern.data(), pattern.size());
    k += pattern.size();
  } while (k < length);
}

// Only for distance >= the block: every block then reads bytes already final.
template <std::size_t P>
void copyBlocks(std::uint8_t* to, std::size_t distance, std::size_t length) {
  const std::uint8_t* from = to - distance;
  std::size_t k = 0;
  do {
    std::memcpy(to + k, from + k, kBlock<P>);
    k += kBlock<P>;
  } while (k < length);
}

// Byte distance of each copy kind (by the code's two top bits), 0 where the reference would
// not lie before the current pixel or beyond any destination.
using Distances = std::array<std::size_t, 4>;

Distances copyDistances(std::int32_t width, std::size_t pixel) {
  Distances d{};
  for (std::size_t kind = 1; kind < 4; ++kind) {
    const std::int64_t back = (std::int64_t{width} + static_cast<std::int64_t>(kind) - 2) * static_cast<std::int64_t>(pixel);
    d[kind] = back > 0 && back <= std::int64_t{kMaxBlock} ? static_cast<std::size_t>(back) : 0;
  }
  return d;
}

// Expands the stream into `room` bytes at out; returns the bytes of the result or a failure
// code. Consecutive copies of one kind are carried out as one run (the result is the same),
// so that rows repeated from above become one block move.
template <std::size_t P>
std::int32_t decodeStream(std::span<const std::uint8_t> stream, const Distances& distances,
                          std::uint8_t* out, std::size_t room) {
  const std::uint8_t* in = stream.data();
  const std::uint8_t* const end = in + stream.size();
  std::size_t done = 0;  // bytes of the result so far, a whole number of pixels
  while (in != end) {
    const std::uint8_t c = *in++;
    std::size_t n = c & kMaxRun;
    std::uint8_t* const to = out + done;
    const std::size_t free = room - done;
    if (c < kAboveRight) {
      if (static_cast<std::size_t>(end - in) < P) return ScreenCodec::kMalformed;
      const std::uint8_t* value = in;
      in += P;
      if (free >= n * P + kBlock<P>) {
        fillBlocks<P>(to, value, n * P);
      } else {
        if (n * P > free) return ScreenCodec::kNoRoom;
        fillPixels<P>(to, value, n);
      }
    } else {
      const unsigned kind = c >> 6u;
      // Only a full run is likely to go on in the next entry (a stretch repeated from
      // above); shorter ones are not worth the look. Bounded by the room, so that n * P
      // cannot wrap with a 32-bit size_t.
      if (n == kMaxRun) {
        while (in != end && static_cast<unsigned>(*in >> 6u) == kind && n * P <= room) n += *in++ & kMaxRun;
      }
      const std::size_t distance = distances[kind];
      if (distance - 1 >= done) {  // 0 (no such reference) wraps
        if (n == 0) continue;      // a count of 0 refers to nothing
        return ScreenCodec::kMalformed;
      }
      if (distance >= kBlock<P> && n * P < kLibraryCopy && free >= n * P + kBlock<P>) {
        copyBlocks<P>(to, distance, n * P);
      } else {
        if (n * P > free) return ScreenCodec::kNoRoom;
        copyBack(to, distance, n * P);
      }
    }
    done += n * P;
  }
  return static_cast<std::int32_t>(done);
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
      streamDecoder(pixel)(source.subspan(headerLength), copyDistances(widthOf(source.data()), pixel),
                           out + headerLength, (capacity - headerLength) / pixel * pixel);
  return written < 0 ? written : static_cast<std::int32_t>(headerLength) + written;
}

}  // namespace vantrel
