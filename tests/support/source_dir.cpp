#include "support/source_dir.h"

namespace vantrel::testing {

std::filesystem::path sourceDir() { return VANTREL_SOURCE_DIR; }

}  // namespace vantrel::testing
