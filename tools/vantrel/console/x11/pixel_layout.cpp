#include "console/x11/pixel_layout.h"

#include <bit>
#include <utility>

#include "screen/cpu_features.h"

#if VANTREL_X86_AT_RUN_TIME
#include <immintrin.h>
#endif

namespace vantrel::cli {
namespace {

#if VANTREL_X86_AT_RUN_TIME
// Little-endian XRGB (bytes blue, green, red, unused) to RGB sixteen pixels a step: each load
// of four pixels is shuffled into place in the three stores it reaches. Returns the pixels it
// did.
__attribute__((target("ssse3"))) std::size_t xrgbToRgbWide(const std::uint8_t* native, std::size_t count,
                                                         std::uint8_t* rgb) {
  // Which byte of the load goes to each byte of a store (-1: none).
  const __m128i first = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m128i secondInFirst = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 0, 6);
  const __m128i secondInSecond = _mm_setr_epi8(5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i thirdInSecond = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9);
  const __m128i thirdInThird = _mm_setr_epi8(8, 14, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i fourth = _mm_setr_epi8(-1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16, native += 64, rgb += 48) {
    const auto load = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(native + 16 * k)); };
    const __m128i a = load(0), b = load(1), c = load(2), d = load(3);
    const auto store = [&](int k, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 16 * k), v); };
    store(0, _mm_or_si128(_mm_shuffle_epi8(a, first), _mm_shuffle_epi8(b, secondInFirst)));
    store(1, _mm_or_si128(_mm_shuffle_epi8(b, secondInSecond), _mm_shuffle_epi8(c, thirdInSecond)));
    store(2, _mm_or_si128(_mm_shuffle_epi8(c, thirdInThird), _mm_shuffle_epi8(d, fourth)));
  }
  return i;
}
#endif

}  // namespace

std::optional<PixelConverter> PixelConverter::create(const PixelLayout& layout) {
  if (layout.bitsPerPixel != 16 && layout.bitsPerPixel != 24 && layout.bitsPerPixel != 32) return std::nullopt;
  const std::uint64_t room = (std::uint64_t{1} << layout.bitsPerPixel) - 1;
  std::uint32_t seen = 0;
  for (const std::uint32_t mask : {layout.redMask, layout.greenMask, layout.blueMask}) {
    const std::uint32_t shifted = mask >> std::countr_zero(mask | 0x80000000u);
    const bool contiguous = mask != 0 && (shifted & (shifted + 1)) == 0;
    if (!contiguous || (mask & seen) != 0 || mask > room) return std::nullopt;
    seen |= mask;
  }
  return PixelConverter(layout);
}

PixelConverter::PixelConverter(const PixelLayout& layout)
    : layout_(layout), bytes_(static_cast<std::size_t>(layout.bitsPerPixel / 8)) {
  for (auto [channel, mask] : {std::pair{&red_, layout.redMask}, std::pair{&green_, layout.greenMask},
                               std::pair{&blue_, layout.blueMask}}) {
    channel->mask = mask;
    channel->shift = static_cast<unsigned>(std::countr_zero(mask));
    channel->bits = static_cast<unsigned>(std::popcount(mask));
  }
  plainXrgb_ = layout.bitsPerPixel == 32 && !layout.mostSignificantFirst && layout.redMask == 0xFF0000 &&
               layout.greenMask == 0xFF00 && layout.blueMask == 0xFF;
}

// A channel of fewer than 8 bits repeats its top bits below itself, so that full is 255.
std::uint8_t PixelConverter::Channel::widen(std::uint32_t pixel) const {
  std::uint32_t value = (pixel & mask) >> shift;
  if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
  std::uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += static_cast<int>(bits)) out = (out << bits) | value;
  return static_cast<std::uint8_t>(out >> ((bits * ((8 + bits - 1) / bits)) - 8));
}

std::uint32_t PixelConverter::load(const std::uint8_t* p) const {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < bytes_; ++i) {
    const std::size_t byte = layout_.mostSignificantFirst ? i : bytes_ - 1 - i;
    v = (v << 8) | p[byte];
  }
  return v;
}

void PixelConverter::convert(const std::uint8_t* native, std::size_t count, std::uint8_t* rgb) const {
  if (plainXrgb_) {
    std::size_t i = 0;
#if VANTREL_X86_AT_RUN_TIME
    if (cpu::hasSsse3()) {
      i = xrgbToRgbWide(native, count, rgb);
      native += 4 * i;
      rgb += 3 * i;
    }
#endif
    for (; i < count; ++i, native += 4, rgb += 3) {
      rgb[0] = native[2];
      rgb[1] = native[1];
      rgb[2] = native[0];
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i, native += bytes_, rgb += 3) {
    const std::uint32_t v = load(native);
    rgb[0] = red_.widen(v);
    rgb[1] = green_.widen(v);
    rgb[2] = blue_.widen(v);
  }
}

}  // namespace vantrel::cli
