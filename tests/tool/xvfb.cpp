#include "tool/xvfb.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern char** environ;

namespace vantrel::test {

Xvfb::Xvfb(int width, int height, int depth) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return;
  std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                                   std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth),
                                   "-nolisten", "tcp", "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", 0, 0);
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string number;
  pollfd p{pipeFds[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && poll(&p, 1, 10000) > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n') number += c;
  close(pipeFds[0]);
  if (!number.empty()) name_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

int Xvfb::run(const std::string& command) const {
  const std::string full = "DISPLAY=" + name_ + " " + command;
  return std::system(full.c_str());
}

}  // namespace vantrel::test
