#include "tool/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

extern char** environ;

namespace vantrel::cli {

const char* toolPath() { return VANTREL_TOOL; }

ToolRun runTool(const test::TempDir& dir, const std::string& arguments, const std::string& environment) {
  const std::string command = environment + " '" VANTREL_TOOL "' " + arguments + " >'" + (dir.path() / "out").string() +
                              "' 2>'" + (dir.path() / "err").string() + "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.read("out"), dir.read("err")};
}

TerminalRun runOnTerminal(std::vector<std::string> args, const std::vector<std::string>& answers) {
  args.insert(args.begin(), VANTREL_TOOL);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execv(VANTREL_TOOL, argv.data());
    _exit(127);
  }
  TerminalRun run;
  std::size_t answered = 0;
  for (;;) {
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    char chunk[256];
    const ssize_t n = read(terminal, chunk, sizeof chunk);
    if (n <= 0) break;  // the tool has gone
    run.screen.append(chunk, static_cast<std::size_t>(n));
    if (answered < answers.size() && run.screen.size() >= 2 &&
        run.screen.compare(run.screen.size() - 2, 2, ": ") == 0) {
      const std::string line = answers[answered++] + "\n";
      if (write(terminal, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
    }
  }
  int status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 500 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) usleep(10000);
  if (ended == 0) {  // still waiting for an answer that will not come
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(terminal);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ToolProcess::ToolProcess(std::vector<std::string> args, const std::vector<std::string>& environment,
                         const std::filesystem::path& output) {
  int out[2] = {-1, -1};
  if (output.empty() && pipe(out) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output.empty()) {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  args.insert(args.begin(), VANTREL_TOOL);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env(environment);  // the first of a name is the one read
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  if (posix_spawn(&pid_, VANTREL_TOOL, &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (output.empty()) {
    close(out[1]);
    output_ = out[0];
  }
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) close(output_);
}

std::string ToolProcess::readLine() {
  std::string line;
  pollfd p{output_, POLLIN, 0};
  char c = 0;
  while (output_ >= 0 && poll(&p, 1, 5000) > 0 && read(output_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

std::optional<int> ToolProcess::stop(int signal) {
  if (pid_ > 0 && !exitCode_) kill(pid_, signal);
  for (int i = 0; i < 1000 && pid_ > 0 && !exitCode_; ++i) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return exitCode_;
}

}  // namespace vantrel::cli
