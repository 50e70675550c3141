#include "console/area_scaler.h"

#include <algorithm>

namespace vantrel::cli {

namespace {
constexpr std::uint32_t kOne = 4096;
}

AreaScaler::AreaScaler(ScreenSize from, ScreenSize to)
    : from_(from), to_(to), columns_(axis(from.width, to.width)), rows_(axis(from.height, to.height)) {}

// In units of 1/(from * to) of the axis, input pixel j covers [j * to, (j + 1) * to) and output
// pixel i covers [i * from, (i + 1) * from).
std::vector<AreaScaler::Taps> AreaScaler::axis(int from, int to) {
  std::vector<Taps> out(static_cast<std::size_t>(std::max(to, 0)));
  const std::int64_t f = from, t = to;
  for (std::int64_t i = 0; i < t; ++i) {
    const std::int64_t start = i * f, end = (i + 1) * f;
    Taps& taps = out[static_cast<std::size_t>(i)];
    taps.first = static_cast<int>(start / t);
    std::uint32_t sum = 0;
    std::size_t largest = 0;
    for (std::int64_t j = taps.first; j < f && j * t < end; ++j) {
      const std::int64_t overlap = std::min((j + 1) * t, end) - std::max(j * t, start);
      taps.weights.push_back(static_cast<std::uint32_t>(overlap * kOne / f));
      sum += taps.weights.back();
      if (taps.weights.back() > taps.weights[largest]) largest = taps.weights.size() - 1;
    }
    taps.weights[largest] += kOne - sum;  // what rounding lost, so that flat areas stay flat
  }
  return out;
}

void AreaScaler::span(int from, int to, int start, int end, int& outStart, int& outEnd) {
  const std::int64_t f = from, t = to;
  outStart = static_cast<int>(std::clamp<std::int64_t>(start * t / f, 0, t));
  outEnd = static_cast<int>(std::clamp<std::int64_t>((end * t + f - 1) / f, 0, t));
}

PixelRect AreaScaler::affectedBy(PixelRect input) const {
  if (input.empty()) return {};
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  span(from_.width, to_.width, input.x, input.x + input.width, x0, x1);
  span(from_.height, to_.height, input.y, input.y + input.height, y0, y1);
  return {x0, y0, x1 - x0, y1 - y0};
}

void AreaScaler::scale(const std::uint8_t* input, std::size_t inputStride, std::uint8_t* output,
                       std::size_t outputStride, PixelRect area) const {
  const int x0 = std::max(area.x, 0), y0 = std::max(area.y, 0);
  const int x1 = std::min(area.x + area.width, to_.width), y1 = std::min(area.y + area.height, to_.height);
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<std::uint32_t> sums(static_cast<std::size_t>(x1 - x0) * 3);
  for (int y = y0; y < y1; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const Taps& vertical = rows_[static_cast<std::size_t>(y)];
    for (std::size_t r = 0; r < vertical.weights.size(); ++r) {
      const std::uint8_t* row = input + static_cast<std::size_t>(vertical.first) * inputStride + r * inputStride;
      const std::uint32_t wy = vertical.weights[r];
      for (int x = x0; x < x1; ++x) {
        const Taps& horizontal = columns_[static_cast<std::size_t>(x)];
        const std::uint8_t* p = row + static_cast<std::size_t>(horizontal.first) * 3;
        std::uint32_t red = 0, green = 0, blue = 0;
        for (const std::uint32_t wx : horizontal.weights) {
          red += wx * p[0];
          green += wx * p[1];
          blue += wx * p[2];
          p += 3;
        }
        std::uint32_t* s = &sums[static_cast<std::size_t>(x - x0) * 3];
        // At most 255 * 4096 * 4096 in all: the sums fit 32 bits.
        s[0] += wy * red;
        s[1] += wy * green;
        s[2] += wy * blue;
      }
    }
    std::uint8_t* out = output + static_cast<std::size_t>(y) * outputStride + static_cast<std::size_t>(x0) * 3;
    for (const std::uint32_t s : sums) *out++ = static_cast<std::uint8_t>((s + kOne * kOne / 2) >> 24);
  }
}

}  // namespace vantrel::cli
