// The fuzz targets' seeds replayed in the ordinary builds, under the sanitizers and under Wine:
// each seed holds its target's property.
#include <gtest/gtest.h>

#include <functional>

#include "fuzz/codec_checks.h"
#include "fuzz/console_reader_checks.h"
#include "fuzz/ini_checks.h"
#include "fuzz/push_session_checks.h"
#include "fuzz/viewer_stream_checks.h"
#include "support/fuzz_seeds.h"

namespace vantrel {
namespace {

TEST(FuzzSeeds, EachHoldsItsTargetsProperty) {
  console_reader_checks::Console console;
  const struct {
    const char* target;
    std::size_t least;
    std::function<bool(std::span<const std::uint8_t>)> holds;
  } targets[] = {
      {"fuzz_decode", 1, codec_checks::decodeStaysBounded},
      {"fuzz_roundtrip", 1, codec_checks::roundTripHolds},
      {"fuzz_ini", 3, ini_checks::lookupsHold},
      // Logins with every kind of message, wrong and short requests, a payload longer than the
      // buffer: the console reads each to its end.
      {"fuzz_console_reader", 5, [&](auto bytes) { return console.readsToTheEnd(bytes); }},
      // Refused logins, sessions with every kind of message, the server's end, a payload longer
      // than the buffer: each session runs until the console's stream ends.
      {"fuzz_viewer_stream", 6, viewer_stream_checks::sessionEnds},
      // The same sessions pushed in pieces of every size: the pieces change nothing.
      {"fuzz_push_session", 6, push_session_checks::samePiecewise},
  };
  for (const auto& [target, least, holds] : targets) {
    const auto seeds = testing::fuzzSeeds(target);
    EXPECT_GE(seeds.size(), least) << target;
    for (const auto& seed : seeds) EXPECT_TRUE(holds(seed.bytes)) << target << "/" << seed.name;
  }
}

}  // namespace
}  // namespace vantrel
