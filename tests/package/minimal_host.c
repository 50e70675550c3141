/* The smallest host of consoleclient.dll, written against the SDK as a customer would: C, the
 * SDK's header, the DLL bound through an import library. It logs in to the console it is
 * given, serves the viewer for a moment and reports each step on standard output.
 *
 *   minimal_host INI_DIRECTORY SERVER USER PASSWORD
 *
 * Exit status: 0 logged in and ended, 1 bad arguments, 2 ClientInitial failed, 3 ClientRun
 * failed, 4 timed out (a message box is waiting for a person). */
#include <stdio.h>

#include <windows.h>

#include "consoleclient.h"

static LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD WINAPI watchdog(void* unused) {
  (void)unused;
  Sleep(30000);
  fprintf(stderr, "minimal_host: timed out\n");
  TerminateProcess(GetCurrentProcess(), 4);
  return 0;
}

static void serveFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  }
}

int main(int argc, char** argv) {
  WNDCLASSA windowClass = {0};
  HWND host;
  int running, closedByServer = 0;
  if (argc != 5) {
    fprintf(stderr, "usage: minimal_host INI_DIRECTORY SERVER USER PASSWORD\n");
    return 1;
  }
  CreateThread(NULL, 0, watchdog, NULL, 0, NULL);
  windowClass.lpfnWndProc = hostProc;
  windowClass.hInstance = GetModuleHandleA(NULL);
  windowClass.lpszClassName = "MinimalHost";
  RegisterClassA(&windowClass);
  host = CreateWindowExA(0, "MinimalHost", "minimal host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1024, 768, NULL,
                         NULL, windowClass.hInstance, NULL);

  if (!ClientInitial(argv[1], host, host, 0, 0, 1024, 768, argv[2], 0, argv[3], argv[4], 0, 0)) return 2;
  running = ClientRun();
  printf("ClientRun %d\n", running);
  if (running == 1) {
    serveFor(1000);
    printf("ClientIsRunning %d\n", ClientIsRunning());
    printf("ClientIsMsgShow %d closedByServer %d\n", ClientIsMsgShow(&closedByServer), closedByServer);
  }
  printf("ClientExit %d\n", ClientExit());
  DestroyWindow(host);
  return running == 1 ? 0 : 3;
}
