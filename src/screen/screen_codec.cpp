#include "screen/screen_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "protocol/byte_io.h"
#include "screen/cpu_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if VANTREL_X86_AT_RUN_TIME
#include <immintrin.h>
#elif VANTREL_SHUFFLE_PATHS
#include <tmmintrin.h>
#endif

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

std::size_t sameLeadingBytes(const std::uint8_t* a, const std::uint8_t* b) {
  return sameLeadingBytes(load64(a), load64(b));
}

#if VANTREL_X86_AT_RUN_TIME
// The bytes of a and b, in whole blocks of 128 from the start, that agree up to the first
// block that differs: 32-byte compares, for processors that have them.
__attribute__((target("avx2"))) std::size_t sameBlocksWide(const std::uint8_t* a, const std::uint8_t* b,
                                                          std::size_t limit) {
  std::size_t k = 0;
  for (; k + 128 <= limit; k += 128) {
    __m256i all = _mm256_set1_epi8(-1);
    for (std::size_t at = k; at < k + 128; at += 32) {
      all = _mm256_and_si256(all, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + at)),
                                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + at))));
    }
    if (static_cast<unsigned>(_mm256_movemask_epi8(all)) != 0xFFFFFFFFu) break;
  }
  return k;
}
#endif

// How many leading bytes of a and b agree, looking at no more than limit bytes of either.
// Long stretches a block of 128 or 64 bytes at a time with vector compares where there are
// some, then smaller steps to find the difference; without vectors, thirty-two bytes a step
// while they agree, then eight bytes a step, then the last eight again where that is shorter.
std::size_t commonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
  std::size_t k = 0;
#if VANTREL_X86_AT_RUN_TIME
  if (limit >= 256 && cpu::hasAvx2()) k = sameBlocksWide(a, b, limit);
#endif
#if defined(__SSE2__)
  const auto same16 = [&](std::size_t at) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at)));
  };
  for (; k + 64 <= limit; k += 64) {
    const __m128i all = _mm_and_si128(_mm_and_si128(same16(k), same16(k + 16)), _mm_and_si128(same16(k + 32), same16(k + 48)));
    if (_mm_movemask_epi8(all) != 0xFFFF) break;
  }
  for (; k + 16 <= limit; k += 16) {
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(same16(k)));
    if (mask != 0xFFFF) return k + static_cast<std::size_t>(std::countr_one(mask));
  }
#endif
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

// Entry kinds in the order the tests are tried. A fill's test is that a pixel equals the one
// before it, so that every kind measures its run as a stretch of pixels that pass its test.
enum Kind : std::size_t { kKindAbove, kKindAboveLeft, kKindAboveRight, kKindFill };
constexpr std::array<std::uint8_t, 4> kCodeOf = {kAbove, kAboveLeft, kAboveRight, 0};

// Writes one entry of kind K and returns where the next goes. The value bytes are written for
// every kind (a copy's are overwritten by the next entry), so the caller must allow a fill's
// size.
template <std::size_t P, bool Reduce, Kind K>
std::uint8_t* emit(std::uint8_t* out, std::size_t n, const std::uint8_t* px) {
  out[0] = static_cast<std::uint8_t>(kCodeOf[K] | n);
  constexpr std::size_t kValue = Reduce ? 2 : P;
  if constexpr (Reduce) {
    storeU16le(out + 1, ScreenCodec::pack565(loadU32le(px)));
  } else {
    std::memcpy(out + 1, px, P);
  }
  return out + 1 + (K == kKindFill ? kValue : 0);
}

// Writes the entries of an above-run of n pixels: runs of 63 and one shorter run.
std::uint8_t* emitAbove(std::uint8_t* out, std::size_t n) {
  std::memset(out, kAbove | kMaxRun, n / kMaxRun);
  out += n / kMaxRun;
  if (n % kMaxRun != 0) *out++ = static_cast<std::uint8_t>(kAbove | n % kMaxRun);
  return out;
}

#if VANTREL_X86_AT_RUN_TIME
// Single-pixel fills of 2-byte pixels, eight a step: a byte shuffle spreads the values three
// bytes apart and the codes go between them. Returns the pixels it did.
__attribute__((target("ssse3"))) std::size_t emitSinglesWide(std::uint8_t*& out, const std::uint8_t* px,
                                                           std::size_t n) {
  const __m128i first = _mm_setr_epi8(-1, 0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1);
  const __m128i firstCodes = _mm_setr_epi8(1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1);
  const __m128i second = _mm_setr_epi8(10, 11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i secondCodes = _mm_setr_epi8(0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8, out += 24) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 2 * k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(values, first), firstCodes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_or_si128(_mm_shuffle_epi8(values, second), secondCodes));
  }
  return k;
}
#endif

// Writes n single-pixel fills, of the pixels from px on, and returns where the next entry goes.
template <std::size_t P, bool Reduce>
std::uint8_t* emitSingles(std::uint8_t* out, const std::uint8_t* px, std::size_t n) {
  std::size_t k = 0;
#if VANTREL_X86_AT_RUN_TIME
  if constexpr (P == 2 && !Reduce) {
    if (cpu::hasSsse3()) k = emitSinglesWide(out, px, n);
  }
#endif
  for (; k < n; ++k) out = emit<P, Reduce, kKindFill>(out, 1, px + k * P);
  return out;
}

#if defined(__SSE2__)
// Bit k set when pixel k of a equals pixel k of b, for sixteen pixels.
template <std::size_t P>
unsigned equal16(const std::uint8_t* a, const std::uint8_t* b) {
  const auto same = [&](std::size_t at) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
    return P == 1 ? _mm_cmpeq_epi8(x, y) : P == 2 ? _mm_cmpeq_epi16(x, y) : _mm_cmpeq_epi32(x, y);
  };
  __m128i bytes;  // one byte per pixel, all ones where it agrees
  if constexpr (P == 1) {
    bytes = same(0);
  } else if constexpr (P == 2) {
    bytes = _mm_packs_epi16(same(0), same(16));
  } else {
    bytes = _mm_packs_epi16(_mm_packs_epi32(same(0), same(16)), _mm_packs_epi32(same(32), same(48)));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}
#endif

// Bit k set when pixel k of a equals pixel k of b, for the first `count` pixels (at most 64).
template <std::size_t P>
std::uint64_t equalPixels(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
  std::uint64_t bits = 0;
  std::size_t k = 0;
#if defined(__SSE2__)
  if constexpr (P != 3) {
    for (; k + 16 <= count; k += 16) bits |= std::uint64_t{equal16<P>(a + k * P, b + k * P)} << k;
  }
#endif
  for (; k < count; ++k) bits |= std::uint64_t{std::memcmp(a + k * P, b + k * P, P) == 0} << k;
  return bits;
}

// Codes one row of pixels, an entry at a time.
//
// The four tests are worked out for 64 pixels at a time, one bit a pixel, and so is the entry
// each pixel would start (the first test it passes). An entry is then a few bit operations:
// its kind is read from the pixel's bits and its run is the count of ones from the pixel in
// its kind's test. Two words of tests cover the 63 pixels a run may reach past the current
// one. A stretch repeated from the row above is measured bytewise instead, as it may reach
// the row end. The kind is a branch rather than an index: the branches are well predicted,
// and each kind then writes its entry with constants, where selecting the kind's words and
// code by index lengthens the chain from one entry to the next.
template <std::size_t P, bool Reduce>
class RowCoder {
 public:
  // `pixels` is the first row of the block; the entries go to out.
  RowCoder(const std::uint8_t* pixels, std::size_t width, std::size_t row, std::uint8_t* out)
      : pixels_(pixels), width_(width), row_(row), rowStart_(pixels + row * width * P), out_(out) {}

  // Codes the row; returns where the next entry goes.
  std::uint8_t* code() {
    while (j_ < width_) {
      if (j_ - base_ >= 64 && !nextWords()) continue;
      const std::size_t end = std::min(base_ + 64, width_);
      do entry(); while (j_ < end);
    }
    return out_;
  }

 private:
  // Moves the words on to the pixel j, which lies past lo_; returns false where it has coded
  // a stretch repeated from the row above instead.
  bool nextWords() {
    if (j_ - base_ >= 128) {
      // Where the row above goes on for a while, measure it at once and skip the tests.
      const std::size_t up = width_ * P;
      const std::size_t left = width_ - j_;
      const std::uint8_t* const px = rowStart_ + j_ * P;
      const std::size_t probe = std::min<std::size_t>(left, 64) * P;
      if (row_ > 0 && commonPrefix(px, px - up, probe) == probe) {
        above((probe + commonPrefix(px + probe, px + probe - up, left * P - probe)) / P);
        return false;
      }
      base_ = j_;
      tests(base_, lo_);
    } else {
      base_ += 64;
      lo_ = hi_;
    }
    tests(base_ + 64, hi_);
    classify();
    return true;
  }

  // Codes the entry that starts at pixel j, within lo_.
  void entry() {
    const std::size_t shift = j_ - base_;
    if (const std::size_t singles = detailed_ ? static_cast<std::size_t>(std::countr_one(single_ >> shift)) : 0;
        singles > 0) {
      out_ = emitSingles<P, Reduce>(out_, rowStart_ + j_ * P, singles);
      j_ += singles;
      return;
    }
    // Branches per kind, so that each writes its entry with constants.
    if (((kindBit1_ >> shift) & 1) != 0) {
      ((kindBit0_ >> shift) & 1) != 0 ? run<kKindFill>(shift) : run<kKindAboveRight>(shift);
    } else if (((kindBit0_ >> shift) & 1) != 0) {
      run<kKindAboveLeft>(shift);
    } else if (passesFrom(kKindAbove, shift) == ~std::uint64_t{0}) {
      // The row above goes on past the words: measure the rest bytewise.
      const std::uint8_t* const next = rowStart_ + (j_ + 64) * P;
      above(64 + commonPrefix(next, next - width_ * P, (width_ - j_ - 64) * P) / P);
    } else {
      run<kKindAbove>(shift);
    }
  }

  // Test t from pixel base_ + shift on, bit k for pixel base_ + shift + k. A run's first pixel
  // passes its test, and a fill's first pixel counts as passing.
  std::uint64_t passesFrom(Kind t, std::size_t shift) const {
    return (lo_[t] >> shift) | ((hi_[t] << 1) << (63 - shift)) | 1;
  }

  // An entry of kind K from pixel j; the stop bit keeps its run to 63 pixels.
  template <Kind K>
  void run(std::size_t shift) {
    const auto n = static_cast<std::size_t>(std::countr_zero(~passesFrom(K, shift) | std::uint64_t{1} << kMaxRun));
    out_ = emit<P, Reduce, K>(out_, n, rowStart_ + j_ * P);
    j_ += n;
  }

  void above(std::size_t n) {
    out_ = emitAbove(out_, n);
    j_ += n;
  }

  // Bit k of words[t]: pixel from + k passes test t. Pixels past the row end pass none, so
  // no run crosses it. The fill test is that a pixel equals the one before it; a fill run is
  // its first pixel and those after it that pass.
  void tests(std::size_t from, std::array<std::uint64_t, 4>& words) const {
    const std::size_t up = width_ * P;
    const std::array<std::size_t, 4> back = {up, up + P, up - P, P};
    const std::size_t count = from < width_ ? std::min<std::size_t>(64, width_ - from) : 0;
    const std::uint8_t* at = rowStart_ + from * P;
    for (std::size_t t = 0; t < 4; ++t) {
      if (row_ == 0 && t != kKindFill) {
        words[t] = 0;  // nothing above the first row: fills only
      } else if (count > 0 && static_cast<std::size_t>(at - pixels_) < back[t]) {
        words[t] = equalPixels<P>(at + P, at + P - back[t], count - 1) << 1;  // no reference for the first
      } else {
        words[t] = equalPixels<P>(at, at - back[t], count);
      }
    }
  }

  void classify() {
    const std::uint64_t rowStartBit = base_ == 0 ? 1 : 0;
    const std::uint64_t rowEndBit = width_ - base_ <= 64 ? std::uint64_t{1} << (width_ - base_ - 1) : 0;
    const std::uint64_t aboveLeft = lo_[kKindAboveLeft] & ~lo_[kKindAbove] & ~rowStartBit;
    const std::uint64_t aboveRight = lo_[kKindAboveRight] & ~lo_[kKindAbove] & ~aboveLeft & ~rowEndBit;
    const std::uint64_t fill = ~(lo_[kKindAbove] | aboveLeft | aboveRight);
    kindBit0_ = aboveLeft | fill;
    kindBit1_ = aboveRight | fill;
    const std::uint64_t inRow = width_ - base_ >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (width_ - base_)) - 1;
    single_ = fill & inRow & ~((lo_[kKindFill] >> 1) | (hi_[kKindFill] << 63));  // the next pixel starts anew
    detailed_ = (single_ & single_ >> 1 & single_ >> 2 & single_ >> 3) != 0;  // four in a row somewhere
  }

  const std::uint8_t* pixels_;
  std::size_t width_;
  std::size_t row_;
  const std::uint8_t* rowStart_;
  std::uint8_t* out_;
  std::size_t j_ = 0;
  // Bit k of lo_[t] (hi_[t]): pixel base_ + k (base_ + 64 + k) passes test t. base_ starts
  // far enough back that the first pixel needs new words.
  std::size_t base_ = 0 - std::size_t{128};
  std::array<std::uint64_t, 4> lo_{}, hi_{};
  // Bits of the kind of entry each pixel of lo_ starts (0 above, 1 above-left, 2 above-right,
  // 3 fill): the first test it passes, above-left never at the row start nor above-right at
  // its end.
  std::uint64_t kindBit0_ = 0, kindBit1_ = 0;
  // Pixels of lo_, inside the row, whose entry would be a fill of that pixel alone. Detailed pictures have
  // long stretches of them, which need no choice and no run: in a word that has a few in a
  // row, they are written in a loop (elsewhere the test for them would be mispredicted).
  std::uint64_t single_ = 0;
  bool detailed_ = false;
};

// Codes whole rows of `width` pixels; returns the bytes written. The caller has checked that
// out holds a single-pixel fill entry for every pixel.
template <std::size_t P, bool Reduce>
std::size_t encodeRows(const std::uint8_t* pixels, std::size_t width, std::size_t rows, std::uint8_t* out) {
  std::uint8_t* const start = out;
  for (std::size_t row = 0; row < rows; ++row) out = RowCoder<P, Reduce>(pixels, width, row, out).code();
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

#if VANTREL_SHUFFLE_PATHS
// copySingles for 1- and 2-byte pixels, sixteen bytes of entries a step: their codes are
// tested at once and a byte shuffle gathers the values. Each step writes sixteen bytes, past
// the values it copies, so it stops where fewer than that many entries are left.
template <std::size_t P>
VANTREL_TARGET_SSSE3 std::size_t copySinglesWide(const std::uint8_t* in, std::size_t most,
                                                           std::uint8_t* to) {
  constexpr std::size_t kEntries = 16 / (P + 1);  // whole entries in sixteen bytes
  constexpr int kCodes = P == 1 ? 0x5555 : 0x1249;  // where their codes lie
  const __m128i values = P == 1 ? _mm_setr_epi8(1, 3, 5, 7, 9, 11, 13, 15, -1, -1, -1, -1, -1, -1, -1, -1)
                                : _mm_setr_epi8(1, 2, 4, 5, 7, 8, 10, 11, 13, 14, -1, -1, -1, -1, -1, -1);
  std::size_t k = 0;
  for (; k + 16 / P <= most; k += kEntries) {
    const __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k * (P + 1)));
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(entries, _mm_set1_epi8(1))) & kCodes) != kCodes) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k * P), _mm_shuffle_epi8(entries, values));
  }
  return k;
}
#endif

// Copies the values of up to `most` single-pixel fill entries (code 1, then the value) from
// `in` to `to`, as long as the entries are of that kind; returns how many it copied.
template <std::size_t P>
std::size_t copySingles(const std::uint8_t* in, std::size_t most, std::uint8_t* to) {
  std::size_t k = 0;
#if VANTREL_SHUFFLE_PATHS
  if constexpr (P <= 2) {
    if (cpu::hasSsse3()) k = copySinglesWide<P>(in, most, to);
  }
#endif
  while (k < most && in[k * (P + 1)] == 1) {
    std::memcpy(to + k * P, in + k * (P + 1) + 1, P);
    ++k;
  }
  return k;
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
    if (*in == 1) {
      // Detailed pictures are mostly single-pixel fills, one after another: their values are
      // copied straight, as far as the stream and the room allow without a further test.
      const std::size_t most = std::min(static_cast<std::size_t>(end - in) / (P + 1), (room - done) / P);
      const std::size_t copied = copySingles<P>(in, most, out + done);
      in += copied * (P + 1);
      done += copied * P;
      if (in == end) break;
      // The next entry is of another kind, or a single fill cut short or without room.
    }
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
