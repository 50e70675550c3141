// The viewer's work for one full-screen update, as the console sends it: a 1024 x 768 RGB565
// rectangle of exclusive-or deltas, decoded and drawn into the software surface. Sparse: a
// few changed areas in a screen of zeros; dense: every pixel changed.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "catalog/user_messages.h"
#include "protocol/byte_io.h"
#include "screen/display_state.h"
#include "screen/software_surface.h"

namespace vantrel {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

struct NoHost final : DisplayHost {
  WindowRef viewerWindow() const override { return nullptr; }
  bool windowedView() const override { return true; }
  void surfaceResized() override {}
  void abortSession() override {}
};

struct NoBoxes final : MessageBoxPort {
  void show(WindowRef, const std::string&, const std::string&, unsigned) override {}
};

std::vector<std::uint8_t> compressedDelta(bool dense) {
  std::vector<std::uint8_t> plain(52 + std::size_t{kWidth} * kHeight * 2, 0);
  storeU32le(plain.data(), 40);
  storeU32le(plain.data() + 4, kWidth);
  storeU32le(plain.data() + 8, kHeight);
  storeU16le(plain.data() + 12, 1);
  storeU16le(plain.data() + 14, 16);
  storeU32le(plain.data() + 16, 3);
  storeU32le(plain.data() + 40, 0xF800);
  storeU32le(plain.data() + 44, 0x07E0);
  storeU32le(plain.data() + 48, 0x001F);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i) {
    const std::size_t x = i % kWidth, y = i / kWidth;
    const bool changed = dense || (x / 64 + y / 48) % 7 == 0;
    if (changed) storeU16le(plain.data() + 52 + 2 * i, static_cast<std::uint16_t>(random()));
  }
  std::vector<std::uint8_t> out(plain.size() * 2);
  ScreenCodec codec;
  out.resize(static_cast<std::size_t>(codec.encode(plain, out, 52)));
  return out;
}

void fullScreenUpdate(benchmark::State& state) {
  const auto payload = compressedDelta(state.range(0) != 0);
  SoftwareSurface surface;
  NoHost host;
  NoBoxes boxes;
  UserMessages messages;
  messages.boxes = &boxes;
  ScreenCodec codec;
  std::vector<std::uint8_t> decodeBuffer(0x50A000);
  DisplayState display(surface, host, messages, codec, decodeBuffer);
  display.surfaceCreated(true);

  ConsoleMessage format;
  format.setType(ConsoleMessage::kScreenFormat);
  format.setU16At(2, kWidth);
  format.setU16At(4, kHeight);
  display.handleScreenFormat(format, {});

  ConsoleMessage update;
  update.setType(ConsoleMessage::kScreenUpdate);
  update.setU16At(6, kWidth);
  update.setU16At(8, kHeight);
  update.setU32At(12, static_cast<std::uint32_t>(payload.size()));
  update.setU32At(16, 52);
  for (auto _ : state) {
    benchmark::DoNotOptimize(display.handleScreenUpdate(update, payload));
  }
  state.counters["payload_bytes"] = static_cast<double>(payload.size());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(fullScreenUpdate)->Arg(0)->Arg(1)->ArgNames({"dense"})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vantrel

BENCHMARK_MAIN();
