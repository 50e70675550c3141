#pragma once
// The seed corpus of a fuzz target (tests/fuzz/corpus/<target>/), for the tests that replay it
// in the ordinary builds, under the sanitizers and under Wine.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/source_dir.h"

namespace vantrel::testing {

struct FuzzSeed {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// In name order; empty when the directory cannot be read.
inline std::vector<FuzzSeed> fuzzSeeds(const std::string& target) {
  std::vector<FuzzSeed> seeds;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(sourceDir() / "tests/fuzz/corpus" / target, error)) {
    std::ifstream file(entry.path(), std::ios::binary);
    seeds.push_back({entry.path().filename().string(), {std::istreambuf_iterator<char>(file), {}}});
  }
  std::sort(seeds.begin(), seeds.end(), [](const FuzzSeed& a, const FuzzSeed& b) { return a.name < b.name; });
  return seeds;
}

}  // namespace vantrel::testing
