#pragma once
// What every test of consoleclient.dll holds: the DLL loaded as a host loads it, a watcher of
// its message boxes, the host's window, and the steps that start a session.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include "box_watcher.h"
#include "consoleclient_dll.h"
#include "fake_console.h"
#include "host_window.h"

namespace vantrel::wintest {

// A folder of the temp directory, named after `name` and this process, holding the host's
// consoleclient.ini with `contents`.
inline std::string iniDirectory(const std::string& name, const std::string& contents) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "vantrel-" + name + "-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  std::ofstream(dir + "\\consoleclient.ini") << contents;
  return dir;
}

// "x,y wxh" of a window on the screen, or within `parent`'s client area.
inline std::string where(HWND window, HWND parent = nullptr) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

class DllTest : public ::testing::Test {
 protected:
  ConsoleClientDll& dll = ConsoleClientDll::get();
  BoxWatcher boxes;
  HostWindow host;

  void SetUp() override { ASSERT_NE(dll.module, nullptr) << "consoleclient.dll did not load"; }
  void TearDown() override {
    boxes.hold(false);
    dll.exit();
  }

  HWND viewer() const { return FindWindowExA(host.get(), nullptr, "Vantrel", nullptr); }

  // ClientRun after a ClientInitial, until the console has the viewer logged in.
  void runUntilLoggedIn(FakeConsole& console) {
    ASSERT_EQ(dll.run(), 1);
    ASSERT_TRUE(pumpUntil([&] { return console.loggedIn(); }));
  }

  // The remote screen announced and one full frame of `pixel` drawn.
  void serveFrame(FakeConsole& console, std::uint16_t width, std::uint16_t height,
                  const std::function<std::uint32_t(int, int)>& pixel) {
    ASSERT_TRUE(console.sendScreenFormat(width, height));
    ASSERT_TRUE(console.sendScreenUpdate(0, 0, width, height, pixel));
    ASSERT_TRUE(pumpUntil([&] { return console.acknowledgements() >= 2; }));
    pumpFor(std::chrono::milliseconds(100));
  }
};

}  // namespace vantrel::wintest
