// The viewer's work for one full-screen update, as the console sends it: a 1024 x 768 RGB565
// rectangle of exclusive-or deltas, decoded and drawn into the software surface. Sparse: a
// few changed areas in a screen of zeros; dense: every pixel changed. After the table it
// prints each as a multiple of a memcpy of the surface (1024 x 768 x 4 bytes) timed in the
// same run: the fastest run of each with --benchmark_repetitions=N, as other work on the
// machine disturbs that least.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
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
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(fullScreenUpdate)->Arg(0)->Arg(1)->ArgNames({"dense"})->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

void surfaceCopy(benchmark::State& state) {
  const std::vector<std::uint32_t> from(std::size_t{kWidth} * kHeight, 0x123456);
  std::vector<std::uint32_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(std::uint32_t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(surfaceCopy)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", fastest);

// Keeps each benchmark's processor time per iteration, the fastest when repeated.
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      times[run.run_name.str()] = run.GetAdjustedCPUTime();
    }
  }
  std::map<std::string, double> times;
};

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vantrel::TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double copy = reporter.times["surfaceCopy"];
  if (copy > 0) {
    std::printf("\n%-28s %s\n", "update (decode + draw)", "x memcpy of the surface");
    for (const char* name : {"fullScreenUpdate/dense:0", "fullScreenUpdate/dense:1"}) {
      if (const auto t = reporter.times.find(name); t != reporter.times.end()) std::printf("%-28s %.1f\n", name, t->second / copy);
    }
  }
  benchmark::Shutdown();
  return 0;
}
