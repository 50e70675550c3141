#pragma once
// The vantrel tool run as a program by the tool tests.

#include <string>

#include "support/temp_dir.h"

namespace vantrel::cli {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs `VANTREL_TOOL arguments` through the shell (so arguments are quoted as for sh), with
// standard input from /dev/null and the output streams caught in files of `dir`. `environment`
// holds NAME=VALUE words for the tool's environment.
ToolRun runTool(const test::TempDir& dir, const std::string& arguments, const std::string& environment = "");

}  // namespace vantrel::cli
