// The message box of another program, for tests that run a host as its user would: waits for
// the first box of any process, prints its caption and then its text, presses OK on it and ends.
//   box_reader SECONDS
// Exit status: 0 a box was read, 1 none came up within SECONDS.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "box_watcher.h"

int main(int argc, char** argv) {
  const ULONGLONG limit = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20) * 1000;
  vantrel::wintest::BoxWatcher watcher(vantrel::wintest::BoxWatcher::kAnyProcess);
  const ULONGLONG start = GetTickCount64();
  while (watcher.count() == 0) {
    if (GetTickCount64() - start > limit) return 1;
    Sleep(20);
  }
  const auto box = watcher.boxes().front();
  std::printf("%s\n%s\n", box.caption.c_str(), box.text.c_str());
  return 0;
}
