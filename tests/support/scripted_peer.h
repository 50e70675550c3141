#pragma once
// The other end of a connection for protocol tests. It plays the console (accepts one
// connection on 127.0.0.1) or the viewer (connects to 127.0.0.1) and follows a script on a
// thread of its own, byte by byte, so that a test sees exactly what crossed the wire. Every
// wait is bounded; a step that cannot complete ends the script as failed.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_compat.h"

namespace vantrel::testing {

struct ScriptStep {
  enum class Kind { Send, Receive, ReceiveToEnd, Reset, Pause, CloseSending };
  Kind kind;
  std::vector<std::uint8_t> bytes;  // Send
  std::size_t count = 0;            // Receive: bytes; Pause: milliseconds

  static ScriptStep send(std::vector<std::uint8_t> bytes) { return {Kind::Send, std::move(bytes), 0}; }
  static ScriptStep sendU32(std::uint32_t word);  // little-endian, as status words go
  static ScriptStep receive(std::size_t count) { return {Kind::Receive, {}, count}; }
  // Receives until the other side closes: also the way to stay silent until it gives up.
  static ScriptStep receiveToEnd() { return {Kind::ReceiveToEnd, {}, 0}; }
  // Closes abortively (the other side sees a reset). Without it the script ends in a clean close.
  static ScriptStep reset() { return {Kind::Reset, {}, 0}; }
  static ScriptStep pause(std::size_t milliseconds) { return {Kind::Pause, {}, milliseconds}; }
  // Ends the sending half in an orderly way; the script may go on receiving.
  static ScriptStep closeSending() { return {Kind::CloseSending, {}, 0}; }
  // The bytes one at a time, `gap` milliseconds apart.
  static std::vector<ScriptStep> drip(const std::vector<std::uint8_t>& bytes, std::size_t gap);
};

// The console's side of a successful login: proceed, the request and both credential blocks, logged in.
std::vector<ScriptStep> loginSteps();
inline constexpr std::size_t kLoginBytes = 4 + 24 + 264;

class ScriptedPeer {
 public:
  static constexpr std::chrono::milliseconds kStepLimit{5000};

  static std::unique_ptr<ScriptedPeer> console(std::vector<ScriptStep> script);
  static std::unique_ptr<ScriptedPeer> viewer(std::uint16_t port, std::vector<ScriptStep> script);
  ~ScriptedPeer();

  std::uint16_t port() const { return port_; }
  // Waits for the end of the script: true when every step completed.
  bool finish();
  // Everything the Receive steps read, in order (valid after finish).
  const std::vector<std::uint8_t>& received() const { return received_; }

 private:
  explicit ScriptedPeer(std::vector<ScriptStep> script) : script_(std::move(script)) {}
  void play(net::NativeSocket listener, std::uint16_t connectPort);
  bool perform(net::NativeSocket& s, const ScriptStep& step);
  bool receiveInto(net::NativeSocket s, std::size_t count);
  std::ptrdiff_t receiveChunk(net::NativeSocket s, std::size_t most);  // appends to received_

  std::vector<ScriptStep> script_;
  std::uint16_t port_ = 0;
  std::vector<std::uint8_t> received_;
  bool completed_ = false;
  std::thread thread_;
};

}  // namespace vantrel::testing
