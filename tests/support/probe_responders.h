#pragma once
// Consoles on 127.0.0.1 that answer one LAN probe: the first of them receives the probe, and
// each one replies with its own name from a socket of its own, as consoles on a LAN would.

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_compat.h"

namespace vantrel::testing {

class ProbeResponders {
 public:
  // Each name goes out in a 32-byte reply, zero-padded (a 32-character name has no terminator).
  explicit ProbeResponders(std::vector<std::string> names);
  ~ProbeResponders();

  std::uint16_t port() const { return port_; }
  // Waits (bounded) for the probe and the replies; the probe as it arrived, empty when none did.
  std::vector<std::uint8_t> finish();

 private:
  void answer();

  std::vector<std::string> names_;
  std::vector<net::NativeSocket> sockets_;
  std::uint16_t port_ = 0;
  std::vector<std::uint8_t> probe_;
  std::thread thread_;
};

}  // namespace vantrel::testing
