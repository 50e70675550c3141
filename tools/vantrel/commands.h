#pragma once
// The sub-commands of the vantrel tool, one file each. A command gets the arguments after its
// own name and returns the process exit code.

#include <span>
#include <string>

namespace vantrel::cli {

using Args = std::span<const std::string>;

struct Command {
  const char* name;
  const char* usage;    // argument synopsis, shown by --help
  const char* summary;  // one line
  int (*run)(Args args);
};

int runCipher(Args args);
int runDiscover(Args args);
int runCodec(Args args);
int runAccount(Args args);
int runConsole(Args args);
int runSnap(Args args);

// Prints "vantrel <name>: <message>" to standard error and returns exit code 1.
int fail(const char* command, const std::string& message);

}  // namespace vantrel::cli
