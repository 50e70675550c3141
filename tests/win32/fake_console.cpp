#include "fake_console.h"

#include <windows.h>

#include <cstring>

#include "protocol/byte_io.h"
#include "screen/screen_codec.h"

namespace vantrel::wintest {
namespace {

bool sendAll(SOCKET s, const std::uint8_t* data, std::size_t count) {
  while (count > 0) {
    const int sent = ::send(s, reinterpret_cast<const char*>(data), static_cast<int>(count), 0);
    if (sent <= 0) return false;
    data += sent;
    count -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool readable(SOCKET s, long milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &wait) == 1;
}

}  // namespace

FakeConsole::FakeConsole(Login login) {
  setLogin(login);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 0), &data);
  static std::atomic<int> instance{0};
  // A loopback address per console: no other console of this machine listens there.
  for (int attempt = 0; attempt < 20 && listener_ == INVALID_SOCKET; ++attempt) {
    const int n = instance++;
    const auto pid = static_cast<int>(GetCurrentProcessId());
    address_ = "127.86." + std::to_string(20 + pid % 200) + "." + std::to_string(1 + n % 250);
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(25000);
    at.sin_addr.s_addr = inet_addr(address_.c_str());
    if (s != INVALID_SOCKET && ::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(s, 4) == 0) {
      listener_ = s;
    } else if (s != INVALID_SOCKET) {
      closesocket(s);
    }
  }
  if (listener_ != INVALID_SOCKET) {
    thread_ = std::thread([this] { serve(); });
    writer_ = std::thread([this] { writeQueued(); });
  }
}

FakeConsole::~FakeConsole() {
  {
    const std::lock_guard lock(sendMutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  if (SOCKET s = session_.exchange(INVALID_SOCKET); s != INVALID_SOCKET) {
    shutdown(s, SD_BOTH);
    closesocket(s);
  }
  if (thread_.joinable()) thread_.join();
  if (writer_.joinable()) writer_.join();
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
}

bool FakeConsole::receiveExact(SOCKET s, std::uint8_t* into, std::size_t count) {
  while (count > 0) {
    if (stopping_) return false;
    if (!readable(s, 50)) continue;
    const int got = ::recv(s, reinterpret_cast<char*>(into), static_cast<int>(count), 0);
    if (got <= 0) return false;
    into += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

// Accepts viewers one after another (a test may log in again after a failure) and reads each
// one's messages until it goes away.
void FakeConsole::serve() {
  while (!stopping_) {
    if (!readable(listener_, 50)) continue;
    SOCKET s = ::accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    ++connections_;
    const Login login{first_.load(), second_.load()};
    std::vector<std::uint8_t> word(4);
    storeU32le(&word[0], login.first);
    std::vector<std::uint8_t> credentials(4 + 24 + 264);
    bool ok = sendAll(s, word.data(), 4);
    if (ok && login.first == 107) {
      ok = receiveExact(s, credentials.data(), credentials.size());
      storeU32le(&word[0], login.second);
      ok = ok && sendAll(s, word.data(), 4);
    }
    if (ok && login.first == 107 && login.second == 101) {
      loggedIn_ = true;
      session_ = s;
      std::uint8_t head[8];
      while (!stopping_ && receiveExact(s, head, 1)) {
        ViewerMessage m;
        m.type = head[0];
        const std::size_t rest = m.type == 2 ? 5 : 7;
        if (m.type < 1 || m.type > 3 || !receiveExact(s, head + 1, rest)) break;
        m.flag = head[1];
        m.word2 = static_cast<std::uint16_t>(head[2] | head[3] << 8);
        m.word4 = static_cast<std::uint16_t>(head[4] | head[5] << 8);
        m.value = static_cast<std::uint32_t>(head[4] | head[5] << 8 | head[6] << 16 | static_cast<std::uint32_t>(head[7]) << 24);
        if (m.type == 3 && m.word2 == 12) {
          m.text.resize(std::min<std::uint32_t>(m.value, 1u << 20));
          if (!receiveExact(s, reinterpret_cast<std::uint8_t*>(m.text.data()), m.text.size())) break;
        }
        const std::lock_guard lock(mutex_);
        messages_.push_back(m);
      }
      loggedIn_ = false;
      if (session_.exchange(INVALID_SOCKET) == INVALID_SOCKET) continue;  // closed by reset()
    } else {
      // A refusal: the viewer closes its end; wait for that so it reads the status first.
      std::uint8_t rest[64];
      while (!stopping_ && receiveExact(s, rest, 1)) {
      }
    }
    closesocket(s);
  }
}

bool FakeConsole::send(const std::vector<std::uint8_t>& bytes) {
  if (session_.load() == INVALID_SOCKET) return false;
  {
    const std::lock_guard lock(sendMutex_);
    queue_.push_back(bytes);
  }
  queued_.notify_all();
  return true;
}

void FakeConsole::writeQueued() {
  std::unique_lock lock(sendMutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    std::vector<std::uint8_t> bytes = std::move(queue_.front());
    queue_.pop_front();
    const SOCKET s = session_.load();
    lock.unlock();
    if (s != INVALID_SOCKET) sendAll(s, bytes.data(), bytes.size());
    lock.lock();
  }
}

bool FakeConsole::sendScreenFormat(std::uint16_t width, std::uint16_t height) {
  std::vector<std::uint8_t> m(12 + 1024);
  m[0] = 6;
  storeU16le(&m[2], width);
  storeU16le(&m[4], height);
  storeU16le(&m[6], 1024);
  for (std::size_t k = 0; k < 256; ++k) {  // a grey ramp
    m[12 + 4 * k] = m[12 + 4 * k + 1] = m[12 + 4 * k + 2] = static_cast<std::uint8_t>(k);
  }
  return send(m);
}

bool FakeConsole::sendScreenUpdate(std::uint16_t x, std::uint16_t y, std::uint16_t width, std::uint16_t height,
                                   const std::function<std::uint32_t(int, int)>& pixel) {
  constexpr std::uint32_t kHeader = 40;
  std::vector<std::uint8_t> plain(kHeader + std::size_t{4} * width * height);
  storeU32le(&plain[0], kHeader);
  storeU32le(&plain[4], width);
  storeU32le(&plain[8], height);  // bottom-up
  storeU16le(&plain[12], 1);
  storeU16le(&plain[14], 32);
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const std::size_t at =
          kHeader + 4 * (static_cast<std::size_t>(height - 1 - row) * width + static_cast<std::size_t>(col));
      storeU32le(&plain[at], pixel(col, row));
    }
  }
  std::vector<std::uint8_t> coded(plain.size() * 2 + 64);
  ScreenCodec codec;
  const std::int32_t length = codec.encodeFullDepth(plain, coded, kHeader);
  if (length <= 0) return false;
  std::vector<std::uint8_t> m(20);
  m[0] = 4;
  storeU16le(&m[2], x);
  storeU16le(&m[4], y);
  storeU16le(&m[6], width);
  storeU16le(&m[8], height);
  storeU32le(&m[12], static_cast<std::uint32_t>(length));
  storeU32le(&m[16], kHeader);
  m.insert(m.end(), coded.begin(), coded.begin() + length);
  return send(m);
}

bool FakeConsole::sendServerCut() {
  std::vector<std::uint8_t> m(8);
  m[0] = 3;
  storeU16le(&m[2], 17);
  return send(m);
}

bool FakeConsole::sendClipboardText(const std::string& text) {
  std::vector<std::uint8_t> m(8);
  m[0] = 3;
  storeU16le(&m[2], 12);
  storeU32le(&m[4], static_cast<std::uint32_t>(text.size()));
  m.insert(m.end(), text.begin(), text.end());
  return send(m);
}

void FakeConsole::reset() {
  const std::lock_guard lock(sendMutex_);
  queue_.clear();
  if (SOCKET s = session_.exchange(INVALID_SOCKET); s != INVALID_SOCKET) {
    linger hard{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    closesocket(s);
  }
}

void FakeConsole::closeSession() {
  const std::lock_guard lock(sendMutex_);
  queue_.clear();
  // Only the sending half: the serving thread reads on until the viewer closes its end.
  if (const SOCKET s = session_.load(); s != INVALID_SOCKET) shutdown(s, SD_SEND);
}

std::vector<ViewerMessage> FakeConsole::messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

std::size_t FakeConsole::count(const std::function<bool(const ViewerMessage&)>& match) const {
  const std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& m : messages_) {
    if (match(m)) ++n;
  }
  return n;
}

std::size_t FakeConsole::controls(std::uint16_t subtype) const {
  return count([&](const ViewerMessage& m) { return m.type == 3 && m.word2 == subtype; });
}

std::vector<std::string> FakeConsole::clipboardTexts() const {
  const std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& m : messages_) {
    if (m.type == 3 && m.word2 == 12) texts.push_back(m.text);
  }
  return texts;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void pumpFor(std::chrono::milliseconds time) {
  pumpUntil([] { return false; }, time);
}

}  // namespace vantrel::wintest
