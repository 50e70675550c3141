// A sample host for consoleclient.dll: a logon front end reduced to its core. It loads the
// DLL, opens a window, hands the DLL the server, the credentials and the window's client area,
// and runs the message loop the viewer lives on until the session ends or the window closes.
//
//   sample_host SERVER USER PASSWORD [--ini DIR] [--language N] [--screenshot FILE.bmp]
//               [--seconds N]
//
// With --screenshot it saves the viewer's picture as a BMP file after --seconds (default 5)
// and ends the session. Exit status: 0 done, 1 bad arguments or no DLL, 2 ClientRun failed,
// 3 the session ended before the screenshot.

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

// The viewer's client area as a 24-bit bottom-up BMP.
bool saveScreenshot(HWND viewer, const std::string& path) {
  RECT client{};
  GetClientRect(viewer, &client);
  const int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return false;
  HDC source = GetDC(viewer);
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
  BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
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
  ReleaseDC(viewer, source);
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
                         "[--screenshot FILE.bmp] [--seconds N]\n");
    return 1;
  }
  std::string ini = moduleDirectory(), screenshot;
  unsigned language = 0;
  int seconds = 5;
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--ini") ini = argv[i + 1];
    else if (option == "--language") language = static_cast<unsigned>(std::atoi(argv[i + 1]));
    else if (option == "--screenshot") screenshot = argv[i + 1];
    else if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
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
  if (!initial || !run || !isRunning || !exitSession || !isMsgShow) return 1;

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
  while (polling && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message != WM_TIMER || message.hwnd != host) continue;
    int closedByServer = 0;
    if (isRunning() != 1 && !isMsgShow(&closedByServer)) {
      status = screenshot.empty() ? 0 : 3;
      polling = false;
    } else if (!screenshot.empty() && GetTickCount64() - start >= static_cast<ULONGLONG>(seconds) * 1000) {
      HWND viewer = FindWindowExA(host, nullptr, "Vantrel", nullptr);
      if (viewer == nullptr || !saveScreenshot(viewer, screenshot)) status = 3;
      else std::printf("sample_host: saved %s\n", screenshot.c_str());
      polling = false;
    }
  }
  exitSession();
  DestroyWindow(host);
  return status;
}
