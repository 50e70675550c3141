#pragma once
// What every test of consoleclient.dll holds: the DLL loaded as a host loads it, a watcher of
// its message boxes, the host's window, and the steps that start a session.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

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

// The pixels (0x00RRGGBB, top row first) of a window's client area, read back from its DC.
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] &
           0xFFFFFF;
  }
};

inline Capture capture(HWND window) {
  Capture shot;
  RECT client{};
  GetClientRect(window, &client);
  shot.width = client.right;
  shot.height = client.bottom;
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, shot.width, shot.height, source, 0, 0, SRCCOPY);
  GdiFlush();
  shot.pixels.resize(static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height));
  if (bits != nullptr) std::memcpy(shot.pixels.data(), bits, shot.pixels.size() * 4);
  SelectObject(memory, previous);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return shot;
}

// With VANTREL_WINE_SHOTS=DIR set, a capture is kept there as NAME.bmp for a look.
inline void keepShot(const Capture& shot, const std::string& name) {
  const char* dir = std::getenv("VANTREL_WINE_SHOTS");
  if (dir == nullptr || shot.pixels.empty()) return;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = shot.width;
  header.biHeight = -shot.height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + shot.pixels.size() * 4);
  std::ofstream out(std::string(dir) + "\\" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(shot.pixels.data()), static_cast<std::streamsize>(shot.pixels.size() * 4));
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
