#pragma once
// An in-process console for the DLL tests: it listens on port 25000 of a loopback address of
// its own (127.86.x.y, so that it meets no other console on this machine), answers the login
// with the status words it is given, then sends what the test asks for and records every
// message the viewer sends. Every wait is bounded.

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::wintest {

// One message from the viewer, as it crossed the wire.
struct ViewerMessage {
  std::uint8_t type = 0;
  std::uint8_t flag = 0;          // key: down; pointer: button mask
  std::uint16_t word2 = 0;        // control: subtype; pointer: x
  std::uint16_t word4 = 0;        // pointer: y
  std::uint32_t value = 0;        // key: keysym; control: value
  std::string text;               // clipboard text: its payload
};

class FakeConsole {
 public:
  struct Login {
    std::uint32_t first = 107;   // proceed
    std::uint32_t second = 101;  // logged in
  };

  explicit FakeConsole(Login login);
  FakeConsole() : FakeConsole(Login{}) {}
  ~FakeConsole();

  // The status words for the next viewer that connects.
  void setLogin(Login login) {
    first_ = login.first;
    second_ = login.second;
  }

  const std::string& address() const { return address_; }
  bool listening() const { return listener_ != INVALID_SOCKET; }
  int connections() const { return connections_.load(); }
  bool loggedIn() const { return loggedIn_.load(); }

  // Whole messages to the viewer, queued and written by a thread of the console's own: the
  // test's thread serves the viewer window and must never block in a send. False when there
  // is no session.
  bool send(const std::vector<std::uint8_t>& bytes);
  bool sendScreenFormat(std::uint16_t width, std::uint16_t height);
  // A 32-bit bottom-up frame of width x height; `pixel(x, y)` gives 0x00RRGGBB.
  bool sendScreenUpdate(std::uint16_t x, std::uint16_t y, std::uint16_t width, std::uint16_t height,
                        const std::function<std::uint32_t(int, int)>& pixel);
  bool sendServerCut();
  bool sendClipboardText(const std::string& text);
  // Closes the session socket abortively, as a crashed console would.
  void reset();
  // Ends the session with an orderly close, as the system of a console that was killed does.
  void closeSession();

  std::vector<ViewerMessage> messages() const;
  std::size_t count(const std::function<bool(const ViewerMessage&)>& match) const;
  // The viewer's control messages of `subtype` (11: acknowledgements; 14, 15: key sequences).
  std::size_t controls(std::uint16_t subtype) const;
  std::size_t acknowledgements() const { return controls(11); }
  // The viewer's clipboard texts, in order.
  std::vector<std::string> clipboardTexts() const;

 private:
  void serve();
  void writeQueued();
  bool receiveExact(SOCKET s, std::uint8_t* into, std::size_t count);

  std::string address_;
  SOCKET listener_ = INVALID_SOCKET;
  std::atomic<SOCKET> session_{INVALID_SOCKET};
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<std::uint32_t> first_{107}, second_{101};
  std::atomic<bool> loggedIn_{false};
  std::mutex sendMutex_;
  std::condition_variable queued_;
  std::deque<std::vector<std::uint8_t>> queue_;
  mutable std::mutex mutex_;
  std::vector<ViewerMessage> messages_;
  std::thread thread_;
  std::thread writer_;
};

// Runs the calling thread's messages (the viewer window lives on it) until `done` or the limit.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));
void pumpFor(std::chrono::milliseconds time);

}  // namespace vantrel::wintest
