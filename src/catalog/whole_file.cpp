#include "catalog/whole_file.h"

#include <array>
#include <fstream>

namespace vantrel {

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  std::array<char, 16384> chunk;
  // istream::read turns a failing read into badbit, where an istreambuf_iterator would throw.
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace vantrel
