// Screen codec against memcpy and LZ4 on generated 1024 x 768 frames. After the usual table
// it prints, per frame, throughput ratios (above 1: the codec is faster) and the size of the
// codec's output against LZ4's (below 1: the codec's is smaller). With repetitions
// (--benchmark_repetitions=N) the ratios are of the fastest run of each, which other work on
// the machine disturbs least. Before timing anything it checks that the encoder writes what
// the literal, pixel-by-pixel coder writes for every frame.
#include <benchmark/benchmark.h>
#include <lz4.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/codec_checks.h"
#include "protocol/byte_io.h"
#include "screen/screen_codec.h"

namespace vantrel {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr std::size_t kDecodeBufferSize = 5'283'840;  // the viewer's

using Bytes = std::vector<std::uint8_t>;

std::uint64_t splitmix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

std::uint32_t rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>((r & 255) << 16 | (g & 255) << 8 | (b & 255));
}

// 32-bit pixels 0x00RRGGBB, so that storing them little-endian gives blue, green, red, 0.
class Canvas {
 public:
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight);

  void fill(int x, int y, int w, int h, std::uint32_t colour) {
    for (int row = std::max(y, 0); row < std::min(y + h, kHeight); ++row) {
      for (int col = std::max(x, 0); col < std::min(x + w, kWidth); ++col) at(col, row) = colour;
    }
  }
  void frame(int x, int y, int w, int h, std::uint32_t colour) {
    fill(x, y, w, 1, colour);
    fill(x, y + h - 1, w, 1, colour);
    fill(x, y, 1, h, colour);
    fill(x + w - 1, y, 1, h, colour);
  }
  // Colour changes across the width (title bars) or down the height (backgrounds).
  void gradient(int x, int y, int w, int h, std::uint32_t from, std::uint32_t to, bool across) {
    const int steps = across ? w : h;
    for (int k = 0; k < steps; ++k) {
      const auto mix = [&](int shift) {
        const int a = static_cast<int>(from >> shift & 255), b = static_cast<int>(to >> shift & 255);
        return a + (b - a) * k / std::max(steps - 1, 1);
      };
      const std::uint32_t c = rgb(mix(16), mix(8), mix(0));
      across ? fill(x + k, y, 1, h, c) : fill(x, y + k, w, 1, c);
    }
  }
  // 6 x 10 cells; each character's glyph is a few strokes of a 5 x 7 box, picked by its code.
  void text(int x, int y, std::string_view s, std::uint32_t colour) {
    struct Stroke {
      int x, y, w, h;
    };
    static constexpr Stroke kStrokes[] = {{0, 2, 1, 5}, {4, 2, 1, 5}, {2, 0, 1, 7}, {0, 0, 1, 7}, {4, 0, 1, 4},
                                          {0, 2, 5, 1}, {0, 4, 5, 1}, {0, 6, 5, 1}, {1, 0, 3, 1}, {3, 3, 1, 4}};
    for (const char ch : s) {
      std::uint64_t seed = static_cast<unsigned char>(ch);
      const std::uint64_t bits = ch == ' ' ? 0 : splitmix(seed);
      for (std::size_t k = 0; k < std::size(kStrokes); ++k) {
        const Stroke& st = kStrokes[k];
        if ((bits >> (3 * k) & 7) < 3) fill(x + st.x, y + 1 + st.y, st.w, st.h, colour);
      }
      x += 6;
    }
  }

 private:
  std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y * kWidth + x)]; }
};

std::string words(std::uint64_t seed, std::size_t length) {
  std::string s;
  while (s.size() < length) {
    for (auto n = 2 + splitmix(seed) % 8; n > 0; --n) s += static_cast<char>('a' + splitmix(seed) % 26);
    s += ' ';
  }
  s.resize(length);
  return s;
}

void window(Canvas& c, int x, int y, int w, int h, std::string_view title, std::uint64_t seed) {
  c.fill(x, y, w, h, rgb(212, 208, 200));
  c.frame(x, y, w, h, rgb(64, 64, 64));
  c.gradient(x + 3, y + 3, w - 6, 18, rgb(10, 36, 106), rgb(166, 202, 240), true);
  c.text(x + 8, y + 7, title, rgb(255, 255, 255));
  c.text(x + 6, y + 24, "File  Edit  View  Help", rgb(0, 0, 0));
  c.fill(x + 4, y + 38, w - 24, h - 42, rgb(255, 255, 255));
  c.frame(x + 4, y + 38, w - 24, h - 42, rgb(128, 128, 128));
  c.fill(x + w - 19, y + 38, 15, h - 42, rgb(224, 224, 224));
  for (int line = 0; 44 + line * 12 < h - 16; ++line) {
    c.text(x + 8, y + 42 + line * 12, words(seed + static_cast<std::uint64_t>(line), static_cast<std::size_t>(w - 40) / 6), 0);
  }
}

struct Scene {
  int movingX, movingY;
  std::string_view clock;
  std::size_t typed;
};

std::vector<std::uint32_t> desktop(const Scene& s) {
  Canvas c;
  c.gradient(0, 0, kWidth, kHeight - 30, rgb(0, 78, 152), rgb(58, 110, 165), false);
  for (int icon = 0; icon < 6; ++icon) {
    std::uint64_t seed = static_cast<std::uint64_t>(icon) + 100;
    for (int block = 0; block < 16; ++block) {
      c.fill(20 + block % 4 * 8, 20 + icon * 70 + block / 4 * 8, 8, 8, static_cast<std::uint32_t>(splitmix(seed)) & 0xFFFFFF);
    }
    c.text(12, 58 + icon * 70, words(seed, 8), rgb(255, 255, 255));
  }
  window(c, 180, 60, 560, 420, "Report.txt - Notepad", 1);
  window(c, s.movingX, s.movingY, 360, 260, "Command Prompt", 2);
  const std::string typed = "C:\\> copy report.txt a:\\backup\\report.txt /y";
  c.text(s.movingX + 8, s.movingY + 200, std::string_view(typed).substr(0, s.typed), rgb(0, 0, 160));
  c.gradient(0, kHeight - 30, kWidth, 30, rgb(236, 233, 216), rgb(190, 186, 170), false);
  c.fill(2, kHeight - 27, 60, 24, rgb(60, 140, 60));
  c.text(12, kHeight - 20, "Start", rgb(255, 255, 255));
  c.text(kWidth - 40, kHeight - 20, s.clock, 0);
  return c.pixels;
}

Bytes header(std::uint16_t bitCount, std::size_t pixelBytes) {
  const std::size_t length = bitCount == 8 ? 1064 : 52;
  Bytes h(length);
  storeU32le(h.data(), 40);
  storeU32le(h.data() + 4, kWidth);
  storeU32le(h.data() + 8, static_cast<std::uint32_t>(-kHeight));
  storeU16le(h.data() + 12, 1);
  storeU16le(h.data() + 14, bitCount);
  storeU32le(h.data() + 16, bitCount == 8 ? 0 : 3);  // BI_RGB with a colour table, BI_BITFIELDS
  storeU32le(h.data() + 20, static_cast<std::uint32_t>(pixelBytes));
  if (bitCount == 8) {
    for (std::uint32_t k = 0; k < 256; ++k) {
      storeU32le(h.data() + 40 + 4 * k, rgb(static_cast<int>(k >> 5) * 36, static_cast<int>(k >> 2 & 7) * 36,
                                            static_cast<int>(k & 3) * 85));
    }
  } else {
    const bool wide = bitCount == 32;
    storeU32le(h.data() + 40, wide ? 0xFF0000 : 0xF800);
    storeU32le(h.data() + 44, wide ? 0x00FF00 : 0x07E0);
    storeU32le(h.data() + 48, wide ? 0x0000FF : 0x001F);
  }
  return h;
}

struct Block {
  Bytes bytes;
  std::uint32_t headerLength;
};

template <typename Pixel>
Block block(std::uint16_t bitCount, const std::vector<Pixel>& pixels) {
  Block b{header(bitCount, pixels.size() * sizeof(Pixel)), 0};
  b.headerLength = static_cast<std::uint32_t>(b.bytes.size());
  for (const Pixel p : pixels) {
    for (std::size_t k = 0; k < sizeof(Pixel); ++k) b.bytes.push_back(static_cast<std::uint8_t>(p >> (8 * k)));
  }
  return b;
}

std::vector<std::uint16_t> to565(const std::vector<std::uint32_t>& frame) {
  std::vector<std::uint16_t> out;
  for (const auto p : frame) out.push_back(ScreenCodec::pack565(p));
  return out;
}

std::map<std::string, Block> corpus() {
  const auto first = desktop({420, 300, "10:41", 23});
  const auto second = desktop({428, 296, "10:42", 24});
  const auto first16 = to565(first);
  const auto second16 = to565(second);
  std::vector<std::uint16_t> delta(first16.size()), noise(first16.size());
  std::vector<std::uint8_t> palette(first.size());
  std::uint64_t seed = 42;
  for (std::size_t i = 0; i < first.size(); ++i) {
    delta[i] = static_cast<std::uint16_t>(first16[i] ^ second16[i]);
    noise[i] = static_cast<std::uint16_t>(splitmix(seed));
    const std::uint32_t p = first[i];
    palette[i] = static_cast<std::uint8_t>((p >> 16 & 0xE0) | (p >> 11 & 0x1C) | (p >> 6 & 0x03));
  }
  return {{"desktop16", block(16, first16)}, {"delta16", block(16, delta)}, {"noise16", block(16, noise)},
          {"desktop8", block(8, palette)},   {"desktop32", block(32, first)}};
}

struct Result {
  double seconds = 0;
  double bytesOut = 0;
};

// Keeps each benchmark's processor time per iteration (the fastest when repeated) for the
// ratio table; processor time, because other work on the machine inflates wall time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      const auto out = run.counters.find("bytes_out");
      results[run.run_name.function_name] = {run.GetAdjustedCPUTime(),
                                             out == run.counters.end() ? 0.0 : out->second.value};
    }
  }
  std::map<std::string, Result> results;
};

void printRatios(const std::map<std::string, Block>& frames, std::map<std::string, Result>& r) {
  std::printf("\n%-10s %14s %22s %20s %15s %10s %10s\n", "frame", "decode/memcpy", "decode/lz4_decompress",
              "encode/lz4_compress", "size codec/lz4", "codec", "lz4");
  for (const auto& [name, frame] : frames) {
    const auto get = [&](const char* op) { return r[std::string(op) + "/" + name]; };
    if (get("decode").seconds == 0) continue;  // filtered out
    std::printf("%-10s %14.2f %22.2f %20.2f %15.3f %10.0f %10.0f\n", name.c_str(),
                get("memcpy").seconds / get("decode").seconds, get("lz4_decompress").seconds / get("decode").seconds,
                get("lz4_compress").seconds / get("encode").seconds, get("encode").bytesOut / get("lz4_compress").bytesOut,
                get("encode").bytesOut, get("lz4_compress").bytesOut);
  }
}

void registerFrame(const std::string& name, const Block& frame) {
  const auto plainBytes = static_cast<std::int64_t>(frame.bytes.size());
  const auto add = [&](const char* op, auto body) {
    benchmark::RegisterBenchmark((std::string(op) + "/" + name).c_str(), [=, &frame](benchmark::State& state) {
      Bytes out(std::max<std::size_t>(kDecodeBufferSize, 2 * frame.bytes.size()));
      int result = 0;
      for (auto _ : state) {
        result = body(frame, out);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
      }
      if (result < 0) state.SkipWithError("refused");
      state.SetBytesProcessed(state.iterations() * plainBytes);
      state.counters["bytes_out"] = result;
    })->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
  };
  ScreenCodec codec;
  Bytes coded(2 * frame.bytes.size());
  coded.resize(static_cast<std::size_t>(codec.encode(frame.bytes, coded, frame.headerLength)));
  const int lz4Bound = LZ4_compressBound(static_cast<int>(frame.bytes.size()));
  Bytes packed(static_cast<std::size_t>(lz4Bound));
  packed.resize(static_cast<std::size_t>(LZ4_compress_default(reinterpret_cast<const char*>(frame.bytes.data()),
                                                              reinterpret_cast<char*>(packed.data()),
                                                              static_cast<int>(frame.bytes.size()), lz4Bound)));

  add("encode", [](const Block& f, Bytes& out) {
    return ScreenCodec().encode(f.bytes, out, f.headerLength);
  });
  add("decode", [coded](const Block& f, Bytes& out) {
    return ScreenCodec().decode(coded, std::span(out).first(kDecodeBufferSize), f.headerLength);
  });
  add("memcpy", [](const Block& f, Bytes& out) {
    std::memcpy(out.data(), f.bytes.data(), f.bytes.size());
    return 0;
  });
  add("lz4_compress", [](const Block& f, Bytes& out) {
    return LZ4_compress_default(reinterpret_cast<const char*>(f.bytes.data()), reinterpret_cast<char*>(out.data()),
                                static_cast<int>(f.bytes.size()), static_cast<int>(out.size()));
  });
  add("lz4_decompress", [packed](const Block&, Bytes& out) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()), reinterpret_cast<char*>(out.data()),
                               static_cast<int>(packed.size()), static_cast<int>(out.size()));
  });
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// The encoder's output for every frame against the literal coder's.
bool encoderMatchesLiteral(const std::map<std::string, Block>& frames) {
  bool all = true;
  for (const auto& [name, frame] : frames) {
    const auto pixels = std::span(frame.bytes).subspan(frame.headerLength);
    const std::size_t pixel = loadU16le(frame.bytes.data() + 14) / 8u;
    Bytes coded(2 * frame.bytes.size());
    const std::int32_t length = ScreenCodec().encode(frame.bytes, coded, frame.headerLength);
    const auto literal = codec_checks::literalStream(pixels, kWidth, pixel, pixel == 4);
    const bool same = length >= static_cast<std::int32_t>(frame.headerLength) &&
                      std::equal(coded.begin() + frame.headerLength, coded.begin() + length, literal.begin(), literal.end());
    if (!same) std::fprintf(stderr, "codec_bench: the encoder's %s differs from the literal coder's\n", name.c_str());
    all = all && same;
  }
  return all;
}

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
  const auto frames = vantrel::corpus();
  if (!vantrel::encoderMatchesLiteral(frames)) return 1;
  for (const auto& [name, frame] : frames) vantrel::registerFrame(name, frame);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vantrel::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  vantrel::printRatios(frames, reporter.results);
  benchmark::Shutdown();
  return 0;
}
