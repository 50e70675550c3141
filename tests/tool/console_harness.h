#pragma once
// `vantrel console` as a child process, and a viewer-side fake that logs in to it over loopback
// and speaks the protocol without a window.

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/net_socket.h"
#include "png_image.h"
#include "protocol/byte_io.h"
#include "protocol/credential_cipher.h"
#include "protocol/message_framing.h"
#include "server/screen_feed.h"
#include "tool/tool_process.h"

namespace vantrel::cli {

using namespace std::chrono_literals;

inline void addAccount(const std::filesystem::path& file, const std::string& name, const std::string& password) {
  const std::string command = "printf '%s\\n' '" + password + "' | '" + std::string(toolPath()) + "' account add '" +
                              file.string() + "' " + name + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

// The console as a child process; its first line of output names the port it listens on.
class ConsoleProcess : public ToolProcess {
 public:
  // `port` 0 asks for any free one.
  explicit ConsoleProcess(std::vector<std::string> args, const std::vector<std::string>& environment = {},
                          std::uint16_t port = 0, const std::string& listen = "127.0.0.1")
      : ToolProcess(withListen(std::move(args), port, listen), environment) {
    first_ = readLine();
    const auto colon = first_.rfind(':');
    if (first_.find("listening on") != std::string::npos && colon != std::string::npos) {
      port_ = static_cast<std::uint16_t>(std::atoi(first_.c_str() + colon + 1));
    }
  }

  std::uint16_t port() const { return port_; }
  const std::string& firstLine() const { return first_; }

 private:
  static std::vector<std::string> withListen(std::vector<std::string> args, std::uint16_t port,
                                             const std::string& listen) {
    args.insert(args.begin(), {"console", "--listen", listen, "--port", std::to_string(port)});
    return args;
  }

  std::string first_;
  std::uint16_t port_ = 0;
};

inline std::vector<std::uint8_t> scrambled(const std::string& text, std::size_t size) {
  std::vector<std::uint8_t> plain(size, 0), out(size, 0);
  std::copy_n(text.begin(), std::min(text.size(), size), plain.begin());
  CredentialCipher().scramble(plain.data(), out.data(), size);
  return out;
}

// What a viewer does on the wire, without a window.
class FakeViewer {
 public:
  explicit FakeViewer(std::uint16_t port) {
    NetSocket::startup();
    connected_ = socket_.createTcp() && socket_.connect("127.0.0.1", port, 5000ms) && socket_.setTimeouts(5000);
  }

  // The status words of both stages (one when the first refuses).
  std::vector<std::uint32_t> login(const std::string& user, const std::string& password) {
    std::vector<std::uint32_t> words;
    if (!connected_ || !readWord(words) || words.back() != 107) return words;
    std::array<std::uint8_t, 4> request{};
    storeU32le(request.data(), 108);
    socket_.sendExact(request);
    socket_.sendExact(scrambled(user, 24));
    socket_.sendExact(scrambled(password, 264));
    readWord(words);
    return words;
  }

  bool send(std::uint8_t type, std::uint8_t flag, std::uint16_t word, std::uint32_t value,
            const std::string& payload = "") {
    ConsoleMessage m;
    m.setType(type);
    m.setFlag(flag);
    m.setU16At(2, word);
    if (type == 2) {
      m.setU16At(4, static_cast<std::uint16_t>(value));
    } else {
      m.setU32At(4, value);
    }
    std::vector<std::uint8_t> bytes(payload.begin(), payload.end());
    m.payload = bytes.data();
    return writeMessage(socket_, m);
  }
  bool acknowledge() { return send(3, 0, 11, 0); }

  // The next message; its payload in payload().
  std::optional<ConsoleMessage> receive() {
    ConsoleMessage m;
    m.payload = buffer_.data();
    if (readMessage(socket_, m, buffer_.size()) != ReadOutcome::Message) return std::nullopt;
    return m;
  }
  std::span<const std::uint8_t> payload(const ConsoleMessage& m) const {
    return {buffer_.data(), wirePayloadLength(m)};
  }
  bool quietFor(std::chrono::milliseconds span) {
    std::uint8_t byte = 0;
    socket_.setTimeouts(static_cast<std::uint32_t>(span.count()));
    const bool quiet = socket_.receive({&byte, 1}) < 0;
    socket_.setTimeouts(5000);
    return quiet;
  }

 private:
  bool readWord(std::vector<std::uint32_t>& words) {
    std::array<std::uint8_t, 4> b{};
    if (!socket_.receiveExact(b)) return false;
    words.push_back(loadU32le(b.data()));
    return true;
  }

  NetSocket socket_;
  bool connected_ = false;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(8 << 20);
};

// A viewer logged in as soon as the console's session is free (while another viewer holds it
// the answer is 106), or whatever the last try within `within` was answered.
struct Login {
  std::unique_ptr<FakeViewer> viewer;
  std::vector<std::uint32_t> words;
};
inline Login loginWhenFree(std::uint16_t port, const std::string& user, const std::string& password,
                           std::chrono::milliseconds within = 2s) {
  const auto end = std::chrono::steady_clock::now() + within;
  for (;;) {
    Login l{std::make_unique<FakeViewer>(port), {}};
    l.words = l.viewer->login(user, password);
    if (l.words != std::vector<std::uint32_t>{106} || std::chrono::steady_clock::now() >= end) return l;
    std::this_thread::sleep_for(20ms);
  }
}

// The pixels of `shown` farther from `served` than RGB565 explains (the console sends 32-bit
// screens as RGB565); all of them where the sizes differ.
inline std::size_t pixelsOff(const RgbImage& shown, const RgbImage& served) {
  if (shown.width != served.width || shown.height != served.height) return shown.rgb.size() / 3 + 1;
  const auto near = [](int a, int b, int most) { return std::abs(a - b) <= most; };
  std::size_t off = 0;
  for (std::size_t i = 0; i < shown.rgb.size(); i += 3) {
    off += near(shown.rgb[i], served.rgb[i], 7) && near(shown.rgb[i + 1], served.rgb[i + 1], 3) &&
                   near(shown.rgb[i + 2], served.rgb[i + 2], 7)
               ? 0u
               : 1u;
  }
  return off;
}

// A picture as the console serves it to a 16-bit viewer.
inline std::vector<std::uint16_t> served565(const RgbImage& image) {
  std::vector<std::uint16_t> out(image.rgb.size() / 3);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = ScreenFeed::rgb565(image.rgb[i * 3], image.rgb[i * 3 + 1], image.rgb[i * 3 + 2]);
  }
  return out;
}

}  // namespace vantrel::cli
