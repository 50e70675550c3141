#pragma once
// A stand-in for a secure channel in protocol tests: every byte through it is flipped with a
// fixed mask, so that a test sees at once whether traffic went through the channel or past it.

#include <algorithm>
#include <vector>

#include "net/byte_stream.h"
#include "net/net_socket.h"

namespace vantrel::testing {

inline constexpr std::uint8_t kXorMask = 0x5A;

inline std::vector<std::uint8_t> xored(std::vector<std::uint8_t> bytes) {
  for (auto& b : bytes) b ^= kXorMask;
  return bytes;
}

class XorStream final : public ByteStream {
 public:
  explicit XorStream(NetSocket& socket) : socket_(socket) {}

  bool sendExact(std::span<const std::uint8_t> data) override {
    return socket_.sendExact(xored({data.begin(), data.end()}));
  }
  bool receiveExact(std::span<std::uint8_t> buffer) override { return unmask(buffer, socket_.receiveExact(buffer)); }
  bool receiveExact(std::span<std::uint8_t> buffer, std::chrono::steady_clock::time_point deadline) override {
    return unmask(buffer, socket_.receiveExact(buffer, deadline));
  }
  bool isAlive() const override { return socket_.isAlive(); }
  void markDead() override { socket_.markDead(); }
  bool shutdownBoth() override { return socket_.shutdownBoth(); }

 private:
  static bool unmask(std::span<std::uint8_t> buffer, bool received) {
    std::for_each(buffer.begin(), buffer.end(), [](std::uint8_t& b) { b ^= kXorMask; });
    return received;
  }
  NetSocket& socket_;
};

}  // namespace vantrel::testing
