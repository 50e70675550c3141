// A sample host for consoleclient.dll: a logon front end reduced to its core. It loads the
// DLL, opens a window, hands the DLL the server, the credentials and the window's client area,
// and runs the message loop the viewer lives on until the session ends or the window closes.
//
//   sample_host SERVER USER PASSWORD [--ini DIR] [--language N] [--screenshot FILE.bmp]
//               [--seconds N] [--timeout SECONDS] [--full-screen] [--frames N [--stats]]
//
// The message texts come from consoleclient.ini in --ini DIR, by default the program's own
// directory or, as the SDK lays it out, ..\share beside it. With --screenshot it saves the
// viewer's picture as a BMP file after --seconds (default 5) and ends the session. With
// --full-screen it switches the viewer to the full-screen view a second into the session; the
// screenshot is then the whole full-screen window, taken with the pointer at the top of the
// screen, where it drops the toolbar in. --timeout ends the program whatever it is doing, a
// message box included; with --screenshot it defaults to 30 seconds beyond --seconds. With
// --frames it ends the session once N updates have been drawn after the first, and with --stats
// prints their rate, the process's CPU time per update and its peak working set.
// Exit status: 0 done, 1 bad arguments or no DLL, 2 ClientRun failed, 3 the session ended
// before the screenshot or the frames, 4 timed out.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "consoleclient.h"

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

// Updates drawn by the viewer, from the first (the whole screen) to `frames` more, with the
// time and the process's CPU time in between.
class FrameCount {
 public:
  explicit FrameCount(unsigned frames) : frames_(frames) {}

  // Asks the viewer window; true once the frames have been drawn.
  bool reached(HWND viewer) {
    static const UINT updatesDrawn = RegisterWindowMessageA(CONSOLECLIENT_UPDATES_DRAWN_MESSAGE);
    if (viewer == nullptr || updatesDrawn == 0) return false;
    const auto drawn = static_cast<unsigned long long>(SendMessageA(viewer, updatesDrawn, 0, 0));
    if (first_ == 0 && drawn > 0) {
      first_ = drawn;
      startedAt_ = now();
      cpuAtStart_ = cpuSeconds();
    }
    if (first_ == 0 || drawn < first_ + frames_) return false;
    counted_ = drawn - first_;
    took_ = now() - startedAt_;
    cpu_ = cpuSeconds() - cpuAtStart_;
    return true;
  }

  void print() const {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    const auto updates = static_cast<double>(counted_);
    std::printf("stats: %.0f updates in %.3f s: %.1f updates/s, %.3f ms CPU per update, peak working set %llu KiB\n",
                updates, took_, updates / took_, cpu_ * 1000.0 / updates,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024));
  }

 private:
  static double now() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
  }
  static double cpuSeconds() {
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
      return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100 ns units
  }

  unsigned frames_;
  unsigned long long first_ = 0;
  unsigned long long counted_ = 0;
  double startedAt_ = 0, cpuAtStart_ = 0, took_ = 0, cpu_ = 0;
};

std::string moduleDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p = path;
  return p.substr(0, p.find_last_of("\\/"));
}

// The program's directory when it holds the catalogue, else the SDK's share directory.
std::string defaultIniDirectory() {
  const std::string own = moduleDirectory();
  if (GetFileAttributesA((own + "\\consoleclient.ini").c_str()) != INVALID_FILE_ATTRIBUTES) return own;
  return own + "\\..\\share";
}

struct Options {
  std::string ini = defaultIniDirectory();
  std::string screenshot;
  unsigned language = 0;
  unsigned seconds = 5;
  std::optional<unsigned> timeout;
  bool fullScreen = false;
  unsigned frames = 0;
  bool stats = false;
};

bool readCount(const char* text, unsigned& out) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || value > 1000000) return false;
  out = static_cast<unsigned>(value);
  return true;
}

// The options after SERVER USER PASSWORD; an error text when one cannot be read.
std::optional<std::string> readOptions(int argc, char** argv, Options& o) {
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--full-screen") {
      o.fullScreen = true;
      continue;
    }
    if (option == "--stats") {
      o.stats = true;
      continue;
    }
    std::string* text = nullptr;
    unsigned* number = nullptr;
    if (option == "--ini") text = &o.ini;
    else if (option == "--screenshot") text = &o.screenshot;
    else if (option == "--language") number = &o.language;
    else if (option == "--seconds") number = &o.seconds;
    else if (option == "--timeout") number = &o.timeout.emplace();
    else if (option == "--frames") number = &o.frames;
    else return "unknown option " + option;
    if (++i == argc) return option + " needs a value";
    if (text != nullptr) *text = argv[i];
    else if (!readCount(argv[i], *number)) return option + " takes a number, not '" + argv[i] + "'";
  }
  if (o.stats && o.frames == 0) return std::string("--stats counts the updates of --frames N, which is missing");
  return std::nullopt;
}

// A box waits for a person; a script's run must end all the same.
DWORD WINAPI endWhenLate(void* seconds) {
  const auto limit = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(seconds));
  Sleep(limit * 1000);
  std::fprintf(stderr, "sample_host: timed out after %u s\n", limit);
  TerminateProcess(GetCurrentProcess(), 4);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr const char* kUsage = "usage: sample_host SERVER USER PASSWORD [--ini DIR] [--language N] "
                                 "[--screenshot FILE.bmp] [--seconds N] [--timeout SECONDS] [--full-screen] "
                                 "[--frames N [--stats]]\n";
  if (argc < 4) {
    std::fprintf(stderr, "%s", kUsage);
    return 1;
  }
  Options o;
  if (const auto error = readOptions(argc, argv, o)) {
    std::fprintf(stderr, "sample_host: %s\n%s", error->c_str(), kUsage);
    return 1;
  }
  if (!o.timeout && !o.screenshot.empty()) o.timeout = o.seconds + 30;
  if (o.timeout) CreateThread(nullptr, 0, endWhenLate, reinterpret_cast<void*>(UINT_PTR{*o.timeout}), 0, nullptr);

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

  if (!initial(o.ini.c_str(), host, host, 0, 0, area.right, area.bottom, argv[1], 0, argv[2], argv[3], 0, o.language)) {
    return 1;
  }
  if (run() != 1) {
    exitSession();
    return 2;
  }

  // The host polls the session; the viewer itself is served by this loop. Counting frames
  // asks the viewer every 10 ms (the finest timer there is).
  int status = 0;
  const ULONGLONG start = GetTickCount64();
  SetTimer(host, 1, o.frames > 0 ? 10 : 200, nullptr);
  FrameCount count(o.frames);
  MSG message;
  bool polling = true;
  bool switched = false;
  // The viewer window: the host's child, or a window of its own in the full-screen view.
  const auto viewerWindow = [&] {
    return switched ? FindWindowA("Vantrel", nullptr) : FindWindowExA(host, nullptr, "Vantrel", nullptr);
  };
  while (polling && GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message != WM_TIMER || message.hwnd != host) continue;
    const ULONGLONG elapsed = GetTickCount64() - start;
    const ULONGLONG screenshotAt = static_cast<ULONGLONG>(o.seconds) * 1000;
    if (o.fullScreen && !switched && elapsed >= 1000) {
      wndFull(1);
      switched = true;
    }
    // Where an operator reaches for the toolbar.
    if (switched && !o.screenshot.empty() && elapsed + 600 >= screenshotAt) {
      SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, 2);
    }
    int closedByServer = 0;
    if (isRunning() != 1 && !isMsgShow(&closedByServer)) {
      status = o.screenshot.empty() && o.frames == 0 ? 0 : 3;
      polling = false;
    } else if (o.frames > 0) {
      if (count.reached(viewerWindow())) {
        if (o.stats) count.print();
        polling = false;
      }
    } else if (!o.screenshot.empty() && elapsed >= screenshotAt) {
      HWND viewer = viewerWindow();
      if (viewer == nullptr || !saveScreenshot(viewer, o.screenshot, switched)) status = 3;
      else std::printf("sample_host: saved %s\n", o.screenshot.c_str());
      polling = false;
    }
  }
  exitSession();
  DestroyWindow(host);
  return status;
}
