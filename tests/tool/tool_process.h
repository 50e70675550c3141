#pragma once
// The vantrel tool run as a program by the tool tests.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vantrel::cli {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The vantrel program these tests run (only tool_process.cpp knows where it is built).
const char* toolPath();

// Runs `toolPath() arguments` through the shell (so arguments are quoted as for sh), with
// standard input from /dev/null and the output streams caught in files of `dir`. `environment`
// holds NAME=VALUE words for the tool's environment.
ToolRun runTool(const test::TempDir& dir, const std::string& arguments, const std::string& environment = "");

// The tool on a pseudo-terminal: each answer is typed once the prompt before it (text that ends
// in ": ") has appeared.
struct TerminalRun {
  int exitCode = -1;
  std::string screen;  // everything the terminal showed
};
TerminalRun runOnTerminal(std::vector<std::string> args, const std::vector<std::string>& answers);

// `toolPath() args` in the background, killed at the end if it is still running. Its standard
// output comes through readLine(), or with `output` both streams go to that file and standard
// input is /dev/null. `environment` entries ("NAME=value") take precedence over this process's.
class ToolProcess {
 public:
  explicit ToolProcess(std::vector<std::string> args, const std::vector<std::string>& environment = {},
                       const std::filesystem::path& output = {});
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // The next line it prints (empty after five seconds without one).
  std::string readLine();
  // Sends the signal and waits (bounded) for the exit code.
  std::optional<int> stop(int signal);

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::optional<int> exitCode_;
};

}  // namespace vantrel::cli
