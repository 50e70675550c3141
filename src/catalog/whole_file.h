#pragma once
// A whole file as bytes, for the readers of small text files (catalogue, account file, the
// tool's inputs). A read that fails after the open, as a directory's does on Linux, gives
// nothing: not an exception, and not an empty file.

#include <optional>
#include <string>

namespace vantrel {

std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace vantrel
