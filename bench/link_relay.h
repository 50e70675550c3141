#pragma once
// A network link between two programs on one machine, played by a relay on loopback: whatever
// reaches the relay's port goes on to the target through an emulated line each way. A line
// sends the bytes at its rate, in segments of a packet's size, one after another; each segment
// arrives a one-way delay (half the round trip) after it has been sent. Bytes waiting to be
// sent are held in a bounded queue, like a router's: when it is full the relay stops reading,
// and TCP's flow control holds the sender back. The rate counts the bytes the stream carries,
// not the headers of the packets that would carry them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vantrel::bench {

struct LinkProfile {
  double bitsPerSecond = 100e6;
  std::chrono::microseconds roundTrip{20000};
  // Bytes that may wait to be sent, each way; 0 for the bytes of 50 ms at the rate, at least 64 KiB.
  std::size_t queueBytes = 0;
};

class LinkRelay {
 public:
  // Listens on 127.0.0.1:listenPort (0 for any free port) and joins every connection to
  // 127.0.0.1:targetPort through a link of its own. Nothing, with the reason in `error`, when
  // it cannot listen.
  static std::unique_ptr<LinkRelay> start(const LinkProfile& profile, std::uint16_t listenPort,
                                          std::uint16_t targetPort, std::string& error);
  ~LinkRelay();  // closes every connection and waits for its threads
  LinkRelay(const LinkRelay&) = delete;
  LinkRelay& operator=(const LinkRelay&) = delete;
  std::uint16_t port() const;

  class Impl;

 private:
  explicit LinkRelay(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// What a link does, measured through a relay of that profile against an echo and a sink of our
// own: the median round trip of one byte, and the rate of a bulk transfer of 300 ms from its
// first byte to its last. The link's delay comes on top of the round trip of loopback itself,
// which is measured beside it (a tenth of a millisecond on a virtual machine: a fifth of a LAN's).
struct LinkCheck {
  std::chrono::duration<double, std::milli> roundTrip{};
  std::chrono::duration<double, std::milli> loopbackRoundTrip{};
  double bitsPerSecond = 0;
};
// Nothing, with the reason in `error`, when the relay or the sockets fail.
std::optional<LinkCheck> checkLink(const LinkProfile& profile, std::string& error);

}  // namespace vantrel::bench
