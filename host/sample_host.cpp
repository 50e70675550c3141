// A sample host for consoleclient.dll: a logon front end reduced to its core. It loads the
// DLL, opens a window, hands the DLL the server, the credentials and the window's client area,
// and runs the message loop the viewer lives on until the session ends or the window closes.
//
//   sample_host SERVER USER PASSWORD [--ini DIR] [--language N] [--screenshot FILE.bmp]
//               [--seconds N] [--full-screen]
//
// With --screenshot it saves the viewer's picture as a BMP file after --seconds (default 5)
// and ends the session. With --full-screen it switches the viewer to the full-screen view a
// second into the session; the screenshot is then the whole full-screen window, taken with the
// pointer at the top of the screen, where it drops the toolbar in. Exit status: 0 done, 1 bad
// arguments or no DLL, 2 ClientRun failed, 3 the session ended before the screenshot.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/consoleclient.h"

namespace {

using InitialFn = decltype(&ClientInitial);
using RunFn = decltype(&ClientRun);
using IsRunningFn = decltype(&ClientIsRunning);
using ExitFn = decltype(&ClientExit);
using IsMsgShowFn = decltype(&ClientIsMsgShow);
using WndFullFn = decltype(&ClientWndFull);

template <typename F>
F exported(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The viewer's client area (or, with `wholeWindow`, all of it as the screen shows it, child
// windows included) as a 24-bit bottom-up BMP.
bool saveScreenshot(HWND viewer, const std::string& path, bool wholeWindow) {
  RECT area{};
  if (wholeWindow) {
    GetWindowRect(viewer, &area);
  } else {
    GetClientRect(viewer, &area);
  }
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  const HWND sourceWindow = wholeWindow ? nullptr : viewer;
  HDC source = GetDC(sourceWindow);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, width, height, source, wholeWindow ? area.left : 0, wholeWindow ? area.top : 0, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  bool ok = false;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    ok = bits != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
         std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, imageSize, 1, out) == 1;
    ok = std::fclose(out) == 0 && ok;
  }
  SelectObject(memory, previous);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(sourceWindow, source);
  return ok;
}

std::string moduleDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: sample_host SERVER USER PASSWORD [--ini DIR] [--language N] "
                         "[--screenshot FILE.bmp] [--seconds N] [--full-screen]\n");
    return 1;
  }
  std::string ini = moduleDirectory(), screenshot;
  unsigned language = 0;
  int seconds = 5;
  bool fullScreen = false;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--full-screen") {
      fullScreen = true;
      continue;
    }
    if (i + 1 >= argc) break;
    const char* value = argv[++i];
    if (option == "--ini") ini = value;
    else if (option == "--language") language = static_cast<unsigned>(std::atoi(value));
    else if (option == "--screenshot") screenshot = value;
    else if (option == "--seconds") seconds = std::atoi(value);
  }

  HMODULE dll = LoadLibraryA("consoleclient.dll");
  if (dll == nullptr) {
    std::fprintf(stderr, "sample_host: consoleclient.dll not found\n");
    return 1;
  }
  const auto initial = exported<InitialFn>(dll, "ClientInitial");
  const auto run = exported<RunFn>(dll, "ClientRun");
  const auto isRunning = exported<IsRunningFn>(dll, "ClientIsRunning");
  const auto exitSession = exported<ExitFn>(dll, "ClientExit");
  const auto isMsgShow = exported<IsMsgShowFn>(dll, "ClientIsMsgShow");
  const auto wndFull = exported<WndFullFn>(dll, "ClientWndFull");
  if (!initial || !run || !isRunning || !exitSession || !isMsgShow || !wndFull) return 1;

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = hostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  windowClass.lpszClassName = "VantrelSampleHost";
  RegisterClassA(&windowClass);
  HWND host = CreateWindowExA(0, windowClass.lpszClassName, "Vantrel sample host",
                              WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 1024, 768, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
  RECT area{};
  GetClientRect(host, &area);

  if (!initial(ini.c_str(), host, host, 0, 0, area.right, area.bottom, argv[1], 0, argv[2], argv[3], 0, language)) {
    return 1;
  }
  if (run() != 1) {
    exitSession();
    return 2;
  }

  // The host polls the session; the viewer itself is served by this loop.
  int status = 0;
  const ULONGLONG start = GetTickCount64();
  SetTimer(host, 1, 200, nullptr);
  MSG message;
  bool polling = true;
  bool switched = false;
  while (polling && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message != WM_TIMER || message.hwnd != host) continue;
    const ULONGLONG elapsed = GetTickCount64() - start;
    const ULONGLONG screenshotAt = static_cast<ULONGLONG>(seconds) * 1000;
    if (fullScreen && !switched && elapsed >= 1000) {
      wndFull(1);
      switched = true;
    }
    // Where an operator reaches for the toolbar.
    if (switched && !screenshot.empty() && elapsed + 600 >= screenshotAt) {
      SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, 2);
    }
    int closedByServer = 0;
    if (isRunning() != 1 && !isMsgShow(&closedByServer)) {
      status = screenshot.empty() ? 0 : 3;
      polling = false;
    } else if (!screenshot.empty() && elapsed >= screenshotAt) {
      HWND viewer = switched ? FindWindowA("Vantrel", nullptr) : FindWindowExA(host, nullptr, "Vantrel", nullptr);
      if (viewer == nullptr || !saveScreenshot(viewer, screenshot, switched)) status = 3;
      else std::printf("sample_host: saved %s\n", screenshot.c_str());
      polling = false;
    }
  }
  exitSession();
  DestroyWindow(host);
  return status;
}
