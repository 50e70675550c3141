#pragma once
// consoleclient.dll loaded as a host loads it: LoadLibrary, then the nine exports by name.

#include <windows.h>

namespace vantrel::wintest {

struct ConsoleClientDll {
  using IsRunning = int(__cdecl*)();
  using Initial = bool(__cdecl*)(const char*, HWND, HWND, int, int, int, int, const char*, unsigned, const char*,
                                 const char*, unsigned, unsigned);
  using Run = int(__cdecl*)();
  using Pause = bool(__cdecl*)();
  using SendKeyEvent = bool(__cdecl*)(unsigned);
  using Exit = bool(__cdecl*)();
  using Active = void(__cdecl*)();
  using IsMsgShow = bool(__cdecl*)(int*);
  using WndFull = void(__cdecl*)(int);

  HMODULE module = nullptr;
  IsRunning isRunning = nullptr;
  Initial initial = nullptr;
  Run run = nullptr;
  Pause pause = nullptr;
  SendKeyEvent sendKeyEvent = nullptr;
  Exit exit = nullptr;
  Active active = nullptr;
  IsMsgShow isMsgShow = nullptr;
  WndFull wndFull = nullptr;

  // Loaded once for the whole test program, as a host keeps it for its lifetime.
  static ConsoleClientDll& get() {
    static ConsoleClientDll dll = load();
    return dll;
  }

 private:
  template <typename F>
  static F proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  static ConsoleClientDll load() {
    ConsoleClientDll d;
    d.module = LoadLibraryA("consoleclient.dll");
    if (d.module == nullptr) return d;
    d.isRunning = proc<IsRunning>(d.module, "ClientIsRunning");
    d.initial = proc<Initial>(d.module, "ClientInitial");
    d.run = proc<Run>(d.module, "ClientRun");
    d.pause = proc<Pause>(d.module, "ClientPause");
    d.sendKeyEvent = proc<SendKeyEvent>(d.module, "ClientSendKeyEvent");
    d.exit = proc<Exit>(d.module, "ClientExit");
    d.active = proc<Active>(d.module, "ClientActive");
    d.isMsgShow = proc<IsMsgShow>(d.module, "ClientIsMsgShow");
    d.wndFull = proc<WndFull>(d.module, "ClientWndFull");
    return d;
  }
};

}  // namespace vantrel::wintest
