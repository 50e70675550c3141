#pragma once
// Where the project's sources are, for tests that read files from them. Only source_dir.cpp
// knows the path, so that a checkout elsewhere recompiles that one file and nothing else.

#include <filesystem>

namespace vantrel::testing {

std::filesystem::path sourceDir();

}  // namespace vantrel::testing
