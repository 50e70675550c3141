#pragma once
// An Xvfb of the test's own on the display number it picks itself (-displayfd), gone with the
// object. Keymap changes made inside it stay inside it.

#include <sys/types.h>

#include <string>

namespace vantrel::test {

class Xvfb {
 public:
  // width x height x 24; depth 16 when asked.
  Xvfb(int width, int height, int depth = 24);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool running() const { return !name_.empty(); }
  const std::string& name() const { return name_; }  // ":N"
  // Runs a shell command with DISPLAY set to this server; its exit status.
  int run(const std::string& command) const;

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace vantrel::test
