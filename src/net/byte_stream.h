#pragma once
// The stream a connection's protocol bytes travel on: the plain socket itself, or a secure
// channel laid over one. The protocol's bytes are the same whichever carries them.

#include <chrono>
#include <cstdint>
#include <span>

namespace vantrel {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual bool sendExact(std::span<const std::uint8_t> data) = 0;
  virtual bool receiveExact(std::span<std::uint8_t> buffer) = 0;
  // Given up (and the stream marked dead) once `deadline` has passed, however the peer paces
  // its bytes, or soon after another thread has marked it dead.
  virtual bool receiveExact(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline) = 0;
  virtual bool isAlive() const = 0;
  virtual void markDead() = 0;
  // From any thread: ends traffic both ways; a blocked send or receive returns.
  virtual bool shutdownBoth() = 0;
};

}  // namespace vantrel
