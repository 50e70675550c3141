// link_emulator --to PORT --rate BITS --rtt MS [--listen PORT] [--queue BYTES] [--check]
// A network link on loopback for measuring sessions as operators have them (see link_relay.h):
// connections to the listening port go on to 127.0.0.1:PORT through the emulated line each
// way, until SIGINT or SIGTERM. --check measures a link of the profile instead (the round trip
// of one byte, the rate of a bulk transfer) and prints it beside what was asked.
#include <pthread.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>

#include "link_relay.h"

namespace {

// "100M", "1G", "10000000": bits per second.
double parseRate(const std::string& text) {
  std::size_t end = 0;
  double value = std::stod(text, &end);
  const std::string unit = text.substr(end);
  if (unit == "k" || unit == "K") value *= 1e3;
  if (unit == "M") value *= 1e6;
  if (unit == "G") value *= 1e9;
  if (!unit.empty() && unit != "k" && unit != "K" && unit != "M" && unit != "G") throw std::invalid_argument(text);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"An emulated network link between two programs on loopback"};
  std::uint16_t listen = 0, target = 0;
  std::string rate;
  double rttMs = 0;
  std::size_t queue = 0;
  bool check = false;
  app.add_option("--listen", listen, "port to listen on (0: any free port)")->capture_default_str();
  app.add_option("--to", target, "port of the target on 127.0.0.1");
  app.add_option("--rate", rate, "bits per second each way: 10M, 100M, 1G")->required();
  app.add_option("--rtt", rttMs, "round trip in milliseconds")->required()->check(CLI::NonNegativeNumber);
  app.add_option("--queue", queue,
                 "bytes that may wait to be sent each way (default: 50 ms at the rate, at least 64 KiB)");
  app.add_flag("--check", check, "measure a link of this profile and print it");
  CLI11_PARSE(app, argc, argv);

  vantrel::bench::LinkProfile profile;
  try {
    profile.bitsPerSecond = parseRate(rate);
  } catch (const std::exception&) {
    std::fprintf(stderr, "link_emulator: --rate takes bits per second such as 10M, 100M or 1G, not '%s'\n",
                 rate.c_str());
    return 1;
  }
  profile.roundTrip = std::chrono::microseconds(static_cast<long long>(rttMs * 1000));
  profile.queueBytes = queue;
  std::string error;
  if (check) {
    const auto measured = vantrel::bench::checkLink(profile, error);
    if (!measured) {
      std::fprintf(stderr, "link_emulator: %s\n", error.c_str());
      return 1;
    }
    std::printf("round trip %.3f ms (asked %.3f, loopback alone %.3f), rate %.2f Mbit/s (asked %.2f)\n",
                measured->roundTrip.count(), rttMs, measured->loopbackRoundTrip.count(), measured->bitsPerSecond / 1e6,
                profile.bitsPerSecond / 1e6);
    return 0;
  }
  if (target == 0) {
    std::fprintf(stderr, "link_emulator: --to PORT is needed (or --check)\n");
    return 1;
  }

  sigset_t ends;
  sigemptyset(&ends);
  sigaddset(&ends, SIGINT);
  sigaddset(&ends, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &ends, nullptr);  // the relay's threads leave them to sigwait
  const auto relay = vantrel::bench::LinkRelay::start(profile, listen, target, error);
  if (!relay) {
    std::fprintf(stderr, "link_emulator: %s\n", error.c_str());
    return 1;
  }
  std::printf("link_emulator: %.2f Mbit/s, %.3f ms round trip: listening on 127.0.0.1:%u\n",
              profile.bitsPerSecond / 1e6, rttMs, relay->port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&ends, &signal);
  return 0;
}
