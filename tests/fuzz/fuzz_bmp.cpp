// Any bytes as a BMP file for `vantrel codec encode`: a block that comes out goes back to a BMP
// file that gives the same block.
#include <cstdlib>
#include <string>

#include "bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto block = vantrel::cli::blockOfBmpFile({data, size}, error);
  if (!block) return 0;
  if (block->headerLength < 40 || block->bytes.size() < block->headerLength) std::abort();
  const auto again = vantrel::cli::blockOfBmpFile(vantrel::cli::bmpFileOfBlock(block->bytes, block->headerLength), error);
  if (!again || again->bytes != block->bytes || again->headerLength != block->headerLength) std::abort();
  return 0;
}
