// `vantrel account add` on a terminal: it asks twice without echo and refuses a mismatch.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vantrel::cli {
namespace {

// The tool on a pseudo-terminal: each answer is typed once the prompt before it has appeared.
struct TerminalRun {
  int exitCode = -1;
  std::string screen;  // everything the terminal showed
};

TerminalRun typeAnswers(const std::string& file, const std::vector<std::string>& answers) {
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl(VANTREL_TOOL, VANTREL_TOOL, "account", "add", file.c_str(), "admin", static_cast<char*>(nullptr));
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

TEST(AccountCommand, AsksTwiceWithoutEchoOnATerminal) {
  test::TempDir dir;
  const std::string file = (dir.path() / "accounts").string();
  struct Case {
    std::vector<std::string> answers;
    int exitCode;
    const char* says;
  };
  for (const Case& c : std::vector<Case>{{{"first-try", "first-tyr"}, 1, "differ"},
                                         {{"", ""}, 1, "empty password"},
                                         {{"s3cret-pw", "s3cret-pw"}, 0, "Same password again: "}}) {
    const TerminalRun run = typeAnswers(file, c.answers);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.screen;
    EXPECT_NE(run.screen.find(c.says), std::string::npos) << run.screen;
    EXPECT_EQ(run.screen.find(c.answers[0].empty() ? "\x01" : c.answers[0]), std::string::npos)
        << "the password was echoed: " << run.screen;
  }
  EXPECT_NE(dir.read("accounts").find("admin:$y$"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::cli
