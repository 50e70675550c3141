#include "tool/tool_process.h"

#include <sys/wait.h>

#include <cstdlib>

namespace vantrel::cli {

ToolRun runTool(const test::TempDir& dir, const std::string& arguments, const std::string& environment) {
  const std::string command = environment + " '" VANTREL_TOOL "' " + arguments + " >'" + (dir.path() / "out").string() +
                              "' 2>'" + (dir.path() / "err").string() + "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.read("out"), dir.read("err")};
}

}  // namespace vantrel::cli
