/* consoleclient.dll: the remote-console viewer a host program loads.
 *
 * Call order: ClientInitial once, then ClientRun on the thread whose message loop serves
 * parentWindow. While ClientRun has returned 1, poll ClientIsRunning and ClientIsMsgShow and
 * call ClientPause / ClientRun (resume), ClientSendKeyEvent and ClientWndFull as the user acts;
 * finally ClientExit. A new session after ClientExit starts again with ClientInitial.
 * Every function is cdecl and exported by name (ordinals 1 to 9 in the order below).
 *
 * Worth knowing beside the functions:
 * - The viewer window shows itself again whenever it finds itself hidden: a host that hides it
 *   sees it back at its next window message.
 * - The socket library (WSAStartup) is started by ClientRun's login; ClientExit cleans it up
 *   (WSACleanup) only when a ClientRun since the last ClientExit started it, so that a host's
 *   own socket use is not ended by a session that never connected.
 * - consoleclient.ini, section [VIEW]: AnyLocalScreen=1 lays the viewer out on local screens
 *   other than 800 x 600 and 1024 x 768; ScaleToFit=1 scales a remote screen that does not fit
 *   the viewing area down into it, and (with AnyLocalScreen=1) fills the screen in full screen. */
#ifndef VANTREL_CONSOLECLIENT_H
#define VANTREL_CONSOLECLIENT_H

#include <windows.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 0 no session (or it was found dead); 1 running; 2 the viewer asks the host to end the
 * session and return to its logon page (the toolbar's "New Client", or a screen size the
 * viewer cannot show); 4 the user left the full-screen view with the toolbar's "Window/Full":
 * the viewer is back in parentWindow and the host's window has been shown again and moved to
 * the top left of the work area. Entering the full-screen view sets 1 again. */
int __cdecl ClientIsRunning(void);

/* Hands over the session parameters. Strings longer than the library keeps are cut: the
 * directory of consoleclient.ini to 1005 characters, the server address to 256 (127 in the
 * window title), user name and password to 256. language: 0 English, 1 Japanese,
 * 2 Traditional Chinese, anything else English. */
bool __cdecl ClientInitial(const char* iniDirectory, HWND parentWindow, HWND ownerWindow, int areaLeft,
                           int areaTop, int areaWidth, int areaHeight, const char* serverAddress,
                           unsigned int reservedA, const char* userName, const char* password,
                           unsigned int reservedB, unsigned int language);

/* Connects, logs in and shows the viewer in parentWindow: 1 running (or resumed after
 * ClientPause), 0 failed (a message box has told the user; ClientRun may be called again).
 * A resume only lets input through again: the view stays as it is, full screen included.
 * With Tls=1 and TlsFingerprint=SHA256:... in section [NET] of consoleclient.ini the session
 * runs inside TLS (1.2 or later, through Windows' SChannel) with a console whose key has that
 * fingerprint; a failed or unverified TLS connection is the usual connection failure, and its
 * reason goes to the trace file (e:\log.txt, or TraceFile= in [NET]). */
int __cdecl ClientRun(void);

/* Stops forwarding local keyboard and mouse input until the next ClientRun. */
bool __cdecl ClientPause(void);

/* 0 Alt+Tab, 1 Ctrl+Space, 2 Alt+F4, 3 Ctrl+Alt+Del on the remote machine, also while input
 * is paused; the viewer then has the keyboard focus. False for any other code, without a
 * session, or when the one request of code 0 or 3 could not be sent (the focus stays where it
 * was). Codes 1 and 2 send four key events and return true whatever became of them: a link
 * that failed meanwhile shows in ClientIsRunning. */
bool __cdecl ClientSendKeyEvent(unsigned int code);

/* Ends the session and frees everything; returns within a few seconds whatever the session is doing.
 * Keys still held down on the server are released first, while the link can carry it. The
 * receive thread is asked to stop (its message boxes are closed for it) and given up to three
 * seconds; only one that neither ends nor answers is terminated. A host window hidden by the
 * full-screen view is shown again. */
bool __cdecl ClientExit(void);

/* Does nothing; kept for hosts that call it. */
void __cdecl ClientActive(void);

/* Whether one of the library's message boxes is up; *closedByServer (when not null) is 1
 * once the server has ended the session. */
bool __cdecl ClientIsMsgShow(int* closedByServer);

/* Non-zero: full-screen view, the viewer a top-level window centred on the screen over the
 * hidden host window, with the floating toolbar; 0: the windowed view inside parentWindow,
 * the host window shown again. Does nothing without a running session. */
void __cdecl ClientWndFull(int full);

/* For measuring a session: the viewer window (a child of parentWindow, window class
 * "Vantrel") answers the window message registered under this name, sent from the thread that
 * runs the session, with the number of screen updates it has drawn so far. */
#define CONSOLECLIENT_UPDATES_DRAWN_MESSAGE "Vantrel.UpdatesDrawn"

#ifdef __cplusplus
}
#endif

#endif
