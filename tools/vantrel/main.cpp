#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

namespace vantrel::cli {
namespace {

constexpr std::array kCommands = {
    Command{"cipher", "scramble|unscramble HEX",
            "encipher (as the viewer does) or decipher (as the console does) credential bytes",
            runCipher},
    Command{"discover", "[--to ADDR] [--port N]",
            "probe the LAN (or ADDR) for consoles and print each answering console's name", runDiscover},
    Command{"codec", "encode|decode --header-length H IN OUT",
            "compress a plain screen rectangle or expand a compressed one (H: bitmap header bytes)",
            runCodec},
    Command{"account", "add FILE NAME [--role admin|user|guest] [--disabled]",
            "add or replace a console account; the password is read from standard input", runAccount},
    Command{"console",
            "--accounts FILE|--pam SERVICE [--admin-group GROUP] [--listen ADDR] [--port N] [--allow-file FILE] "
            "[--allow-local] [--refuse-all] [--probe] [--probe-port N] [--size WxH] "
            "[--source demo|x11[:DISPLAY]|PNG...] [--view-only] [--no-cursor] [--interval MS] [--idle-limit SECONDS] "
            "[--input-log FILE] [--clipboard-text TEXT]",
            "serve a screen to viewers: the demo desktop, PNG images, or an X desktop (default $DISPLAY) with "
            "the viewer's keys, pointer and clipboard typed into it through XTEST (none with --view-only), its "
            "cursor drawn for the viewer (not with --no-cursor); a desktop larger than 1024x768 is scaled down. "
            "Of the viewer's special requests, Alt+Tab is typed, Ctrl+Alt+Del is logged and ignored. --pam checks "
            "logins through the PAM service for members of --admin-group (default sudo) "
            "(exit codes: 1 bad arguments, 3 port in use, 4 unreadable account file, 5 unusable X display)",
            runConsole},
    Command{"snap",
            "HOST[:PORT] --user NAME --password PASS --out FILE.png [--timeout SECONDS] [--frames N] "
            "[--catalog DIR] [--stats] [--clipboard-in FILE|-] [--clipboard-out FILE]",
            "log in as a viewer without a screen and save the first whole screen (and N more updates) as PNG; "
            "--clipboard-in sends a text as the local clipboard's, --clipboard-out saves the console's last one "
            "(exit codes: 1 bad arguments, 2 login refused, 3 no connection, 4 time-out, 5 session ended first)",
            runSnap},
};

void printHelp(std::FILE* out) {
  std::fprintf(out, "usage: vantrel <command> [arguments]\n\ncommands:\n");
  for (const auto& c : kCommands) {
    std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
  }
}

}  // namespace

int fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "vantrel %s: %s\n", command, message.c_str());
  return 1;
}

}  // namespace vantrel::cli

int main(int argc, char** argv) {
  using namespace vantrel::cli;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printHelp(args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  for (const auto& c : kCommands) {
    if (args[0] == c.name) return c.run(Args(args).subspan(1));
  }
  std::fprintf(stderr, "vantrel: unknown command '%s'\n\n", args[0].c_str());
  printHelp(stderr);
  return 2;
}
