#pragma once
// A console that accepts one viewer and follows a few steps of the login by hand: what a
// viewer does when the console stays silent, ends the session, or goes away.

#include <array>
#include <cstdint>
#include <thread>
#include <vector>

#include "net/net_socket.h"
#include "png_image.h"
#include "protocol/byte_io.h"
#include "protocol/message_framing.h"
#include "server/screen_feed.h"

namespace vantrel::cli {

class HandMadeConsole {
 public:
  // What ServeAScreenAndEnd shows: a gradient, so that a shifted or blank picture is told apart.
  static inline const RgbImage kScreen = [] {
    RgbImage image{640, 480, std::vector<std::uint8_t>(640 * 480 * 3)};
    for (std::size_t i = 0; i < image.rgb.size(); ++i) {
      image.rgb[i] = static_cast<std::uint8_t>(i / 3 % 640 / 3 + i % 3 * 40);
    }
    return image;
  }();

  // ServeUpdatesAndEnd: the screen and the screen with a small square inverted, in turn, until
  // at least this many updates have gone.
  static constexpr std::size_t kManyUpdates = 1000;

  enum class Then {
    StaySilent,
    LogInAndEndTheSession,
    ServeAScreenAndEnd,
    ServeUpdatesAndEnd,
    LogInAndClose,
    ServeAScreenOfAnUnusualSize,  // 700 x 500, which viewers do not show
    SendAnOversizedClipboard,     // a text of 7,000,000 bytes, more than a viewer takes
  };

  explicit HandMadeConsole(Then then) {
    NetSocket::startup();
    listener_.createTcp();
    listener_.bind(0, true);
    listener_.listen();
    port_ = listener_.localPort().value_or(0);
    thread_ = std::thread([this, then] {
      auto viewer = listener_.accept();
      if (!viewer) return;
      viewer->setTimeouts(10000);
      if (then != Then::StaySilent) {
        std::array<std::uint8_t, 4> word{};
        std::array<std::uint8_t, 4 + 24 + 264> credentials{};
        storeU32le(word.data(), 107);
        viewer->sendExact(word);
        viewer->receiveExact(credentials);
        storeU32le(word.data(), 101);
        viewer->sendExact(word);
      }
      if (then == Then::ServeAScreenAndEnd || then == Then::ServeUpdatesAndEnd) {
        auto feed = ScreenFeed::create(kScreen.width, kScreen.height);
        ConsoleMessage format = feed->formatMessage();
        writeMessage(*viewer, format);
        std::vector<std::uint8_t> changed(kScreen.rgb);
        for (std::size_t y = 100; y < 132; ++y) {
          for (std::size_t i = (y * 640 + 200) * 3; i < (y * 640 + 232) * 3; ++i) {
            changed[i] = static_cast<std::uint8_t>(~changed[i]);
          }
        }
        std::size_t sent = 0;
        for (std::size_t k = 0; k == 0 || (then == Then::ServeUpdatesAndEnd && sent < kManyUpdates); ++k) {
          if (const ConsoleMessage* update = feed->updateFor(k % 2 == 0 ? kScreen.rgb : changed, feed->screen())) {
            ConsoleMessage m = *update;
            writeMessage(*viewer, m);
            ++sent;
          }
        }
      }
      if (then == Then::ServeAScreenOfAnUnusualSize) {
        ConsoleMessage format = ScreenFeed::create(700, 500)->formatMessage();
        writeMessage(*viewer, format);
      } else if (then == Then::SendAnOversizedClipboard) {
        std::array<std::uint8_t, 8> header = {3, 0, 12, 0};
        storeU32le(header.data() + 4, 7'000'000);
        viewer->sendExact(header);
      }
      if (then == Then::LogInAndEndTheSession || then == Then::ServeAScreenAndEnd || then == Then::ServeUpdatesAndEnd) {
        const std::array<std::uint8_t, 8> end = {3, 0, 17, 0, 0, 0, 0, 0};
        viewer->sendExact(end);
      } else if (then == Then::LogInAndClose) {
        // As a killed console does: an orderly close, once the viewer's depth has been read.
        std::array<std::uint8_t, 8> depth{};
        viewer->receiveExact(depth);
        viewer->close();
        return;
      }
      std::array<std::uint8_t, 64> sink{};
      while (viewer->receive(sink) > 0) {
      }
    });
  }
  ~HandMadeConsole() {
    listener_.shutdownBoth();  // wakes an accept still waiting
    thread_.join();
    listener_.close();
  }
  std::uint16_t port() const { return port_; }

 private:
  NetSocket listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace vantrel::cli
