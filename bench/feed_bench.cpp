// The console's work for one update: an RGB frame converted to the viewer's format, compared
// with what the viewer holds, the rectangle of changed tiles built as exclusive-or deltas and
// compressed. Dense: two 1024 x 768 pictures that differ in every pixel, served in turn (the
// pictures of scripts/measure-session); one tile: a single tile changes between frames.
// Every allocation is counted: once the session runs, an update must allocate nothing, and the
// benchmark fails when one does.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "server/screen_feed.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

// Kept out of line: the compiler would otherwise pair an inlined free with its own new.
[[gnu::noinline]] void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) { return ::operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace vantrel {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

template <typename Pixel>
std::vector<std::uint8_t> picture(Pixel pixel) {
  std::vector<std::uint8_t> rgb;
  rgb.reserve(std::size_t{kWidth} * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const auto [r, g, b] = pixel(x, y);
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)});
    }
  }
  return rgb;
}

struct Colour {
  int r, g, b;
};

void update(benchmark::State& state) {
  const bool dense = state.range(0) != 0;
  const auto first = picture([](int x, int y) { return Colour{x & 255, y & 255, (x * y) & 255}; });
  auto second = first;
  if (dense) {
    second = picture([](int x, int y) { return Colour{255 - (x & 255), (x + y) & 255, 128}; });
  } else {
    for (int y = 100; y < 110; ++y) second[(std::size_t(y) * kWidth + 300) * 3] ^= 0xFF;
  }
  auto feed = ScreenFeed::create(kWidth, kHeight);
  feed->setViewerDepth(32);
  feed->formatMessage();
  feed->updateFor(first, feed->screen());

  std::uint64_t bytes = 0;
  bool odd = true;
  const std::uint64_t before = allocations.load();
  for (auto _ : state) {
    const ConsoleMessage* m = feed->updateFor(odd ? second : first, feed->screen());
    bytes += m->u32At(12);
    odd = !odd;
  }
  const std::uint64_t allocated = allocations.load() - before;
  if (allocated != 0) state.SkipWithError("an update allocated memory");
  state.counters["payload_bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
  state.counters["allocations"] = static_cast<double>(allocated);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(update)->Arg(1)->Arg(0)->ArgNames({"dense"})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel

BENCHMARK_MAIN();
