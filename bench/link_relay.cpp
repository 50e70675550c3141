#include "link_relay.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <sched.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace vantrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kSegment = 1448;         // the payload of a TCP segment on Ethernet
constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::chrono::milliseconds kDefaultQueue{50};

// The lines keep time to well under a millisecond (a LAN's round trip is half of one): their
// timers fire within a microsecond rather than the 50 us the kernel allows a thread by default,
// and where the system lets us, their threads run before the ordinary ones of a busy machine
// instead of waiting for a scheduler tick. They sleep most of the time.
void preciseTimers() {
  prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  const sched_param realTime{1};
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime);
}

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

// Segments go out as soon as they are written, and arrive with the kernel's time of arrival.
void noDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

int listenOn(std::uint16_t port, std::string& error) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in a = loopback(port);
  if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

std::uint16_t portOf(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

int connectTo(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in a = loopback(port);
  if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  noDelay(fd);
  return fd;
}

bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads what has come, and when it came: the time the kernel took the last of it in, for this
// thread may wake from its wait well after that.
ssize_t receive(int fd, std::vector<std::uint8_t>& buffer, Clock::time_point& cameAt) {
  iovec io{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr m{};
  m.msg_iov = &io;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(fd, &m, 0);
  cameAt = Clock::now();
  for (cmsghdr* c = CMSG_FIRSTHDR(&m); n > 0 && c != nullptr; c = CMSG_NXTHDR(&m, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec kernel{};
    std::memcpy(&kernel, CMSG_DATA(c), sizeof kernel);
    const auto sinceThen = std::chrono::system_clock::now().time_since_epoch() -
                           (std::chrono::seconds(kernel.tv_sec) + std::chrono::nanoseconds(kernel.tv_nsec));
    if (sinceThen > Clock::duration::zero()) cameAt -= std::chrono::duration_cast<Clock::duration>(sinceThen);
  }
  return n;
}

// One direction of a link: a reader that takes the bytes in as soon as they come and puts each
// on the line, and a writer that hands them on when they have crossed it.
class Line {
 public:
  Line(const LinkProfile& profile, int from, int to)
      : bytesPerSecond_(profile.bitsPerSecond / 8),
        oneWay_(std::chrono::duration_cast<Clock::duration>(profile.roundTrip) / 2),
        from_(from),
        to_(to) {
    const std::size_t queue = profile.queueBytes != 0
                                  ? profile.queueBytes
                                  : std::max<std::size_t>(64 * 1024, static_cast<std::size_t>(bytesPerSecond_ * 0.05));
    queueTime_ = sendingTime(queue);
    // What the line holds at most: its queue, the bytes under way and one read; a receiver that
    // stops reading holds the reader here.
    const double underWay = bytesPerSecond_ * std::chrono::duration<double>(oneWay_).count();
    mostHeld_ = queue + static_cast<std::size_t>(underWay) + kReadSize;
  }

  void readLoop() {
    preciseTimers();
    std::vector<std::uint8_t> buffer(kReadSize);
    for (;;) {
      {
        std::unique_lock lk(lock_);
        // The queue is full while the line would take longer than the queue's time to send what
        // waits.
        while (!stopped_ && (freeAt_ - Clock::now() > queueTime_ || held_ >= mostHeld_)) {
          if (held_ >= mostHeld_) {
            changed_.wait(lk);
          } else {
            changed_.wait_until(lk, freeAt_ - queueTime_);
          }
        }
        if (stopped_) return;
      }
      Clock::time_point now;
      const ssize_t n = receive(from_, buffer, now);
      if (n < 0 && errno == EINTR) continue;
      std::lock_guard guard(lock_);
      if (n <= 0) {
        readerDone_ = true;
        changed_.notify_all();
        return;
      }
      const auto size = static_cast<std::size_t>(n);
      const auto start = std::max(now, freeAt_);
      freeAt_ = start + sendingTime(size);
      chunks_.push_back({std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + n), 0, start});
      held_ += size;
      changed_.notify_all();
    }
  }

  void writeLoop() {
    preciseTimers();
    std::vector<std::uint8_t> out;
    std::unique_lock lk(lock_);
    while (!stopped_) {
      if (chunks_.empty()) {
        if (readerDone_) {
          shutdown(to_, SHUT_WR);  // what the sender's end of stream looks like after the line
          return;
        }
        changed_.wait(lk);
        continue;
      }
      // Everything that has arrived by now goes out in one write.
      const auto now = Clock::now();
      out.clear();
      auto next = Clock::time_point::max();
      for (Chunk& c : chunks_) {
        const std::size_t arrived = arrivedBy(c, now);
        out.insert(out.end(), c.bytes.begin() + static_cast<std::ptrdiff_t>(c.sent),
                   c.bytes.begin() + static_cast<std::ptrdiff_t>(arrived));
        c.sent = arrived;
        if (c.sent < c.bytes.size()) {
          next = c.start + sendingTime(std::min(c.sent + kSegment, c.bytes.size())) + oneWay_;
          break;
        }
      }
      while (!chunks_.empty() && chunks_.front().sent == chunks_.front().bytes.size()) chunks_.pop_front();
      if (out.empty()) {
        waitUntil(lk, next);
        continue;
      }
      held_ -= out.size();
      changed_.notify_all();
      lk.unlock();
      const bool ok = sendAll(to_, out.data(), out.size());
      lk.lock();
      if (!ok) {
        // The receiver has gone: so does the sender's side of the connection.
        stopped_ = true;
        changed_.notify_all();
        shutdown(from_, SHUT_RDWR);
      }
    }
  }

  void stop() {
    std::lock_guard guard(lock_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::size_t sent;          // handed on
    Clock::time_point start;   // when the line began to send its first byte
  };

  // Waits until `due` or a change: a thread that sleeps wakes late (on this machine by a tenth
  // of a millisecond and more, however precise its timer), so it sleeps until as much before
  // `due` as it woke late lately, and spins the rest.
  void waitUntil(std::unique_lock<std::mutex>& lk, Clock::time_point due) {
    const auto wakeAt = due - lateness_;
    if (Clock::now() < wakeAt) {
      if (changed_.wait_until(lk, wakeAt) == std::cv_status::no_timeout) return;
      lateness_ = (lateness_ * 7 + std::max(Clock::now() - wakeAt, Clock::duration::zero())) / 8;
    }
    lk.unlock();
    while (Clock::now() < due) {
    }
    lk.lock();
  }

  Clock::duration sendingTime(std::size_t bytes) const {
    const std::chrono::duration<double> seconds(static_cast<double>(bytes) / bytesPerSecond_);
    return std::chrono::duration_cast<Clock::duration>(seconds);
  }

  // The bytes of `c` whose segment has crossed the line by `now`.
  std::size_t arrivedBy(const Chunk& c, Clock::time_point now) const {
    const double sending = std::chrono::duration<double>(now - oneWay_ - c.start).count();
    if (sending <= 0) return c.sent;
    const double sentBytes = sending * bytesPerSecond_;
    if (sentBytes >= static_cast<double>(c.bytes.size())) return c.bytes.size();
    return std::max(c.sent, static_cast<std::size_t>(sentBytes) / kSegment * kSegment);
  }

  const double bytesPerSecond_;
  const Clock::duration oneWay_;
  Clock::duration queueTime_{};
  Clock::duration lateness_{std::chrono::microseconds(100)};  // how late the writer woke from its timed waits, lately
  std::size_t mostHeld_ = 0;
  const int from_;
  const int to_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Chunk> chunks_;
  std::size_t held_ = 0;
  Clock::time_point freeAt_{};  // when the line has sent everything it was given
  bool readerDone_ = false;
  bool stopped_ = false;
};

// A relayed connection: the viewer's socket, the target's, and a line each way.
struct Connection {
  Connection(const LinkProfile& profile, int client, int target)
      : client_(client), target_(target), up_(profile, client, target), down_(profile, target, client) {
    threads_.emplace_back([this] { up_.readLoop(); });
    threads_.emplace_back([this] { up_.writeLoop(); });
    threads_.emplace_back([this] { down_.readLoop(); });
    threads_.emplace_back([this] { down_.writeLoop(); });
  }
  ~Connection() {
    up_.stop();
    down_.stop();
    shutdown(client_, SHUT_RDWR);
    shutdown(target_, SHUT_RDWR);
    for (auto& t : threads_) t.join();
    close(client_);
    close(target_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int client_;
  int target_;
  Line up_;
  Line down_;
  std::vector<std::thread> threads_;
};

}  // namespace

class LinkRelay::Impl {
 public:
  Impl(const LinkProfile& profile, int listener, std::uint16_t targetPort)
      : profile_(profile), listener_(listener), targetPort_(targetPort), acceptor_([this] { acceptLoop(); }) {}
  ~Impl() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);  // a blocked accept returns
    acceptor_.join();
    close(listener_);
    connections_.clear();
  }
  std::uint16_t port() const { return portOf(listener_); }

 private:
  void acceptLoop() {
    while (!stopping_) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      noDelay(client);
      const int target = connectTo(targetPort_);
      if (target < 0) {
        close(client);
        continue;
      }
      std::lock_guard guard(lock_);
      connections_.emplace_back(std::make_unique<Connection>(profile_, client, target));
    }
  }

  const LinkProfile profile_;
  const int listener_;
  const std::uint16_t targetPort_;
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::list<std::unique_ptr<Connection>> connections_;
  std::thread acceptor_;  // last: it starts once the rest is ready
};

std::unique_ptr<LinkRelay> LinkRelay::start(const LinkProfile& profile, std::uint16_t listenPort,
                                            std::uint16_t targetPort, std::string& error) {
  const int listener = listenOn(listenPort, error);
  if (listener < 0) return nullptr;
  return std::unique_ptr<LinkRelay>(new LinkRelay(std::make_unique<Impl>(profile, listener, targetPort)));
}

LinkRelay::LinkRelay(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LinkRelay::~LinkRelay() = default;
std::uint16_t LinkRelay::port() const { return impl_->port(); }

std::optional<LinkCheck> checkLink(const LinkProfile& profile, std::string& error) {
  constexpr int kPings = 21;
  const auto bulkBytes = static_cast<std::size_t>(profile.bitsPerSecond / 8 * 0.3);

  // Our end of the link: the first two connections (straight, then through the link) echo every
  // byte, the third swallows the bulk and notes when its first and last bytes came.
  const int listener = listenOn(0, error);
  if (listener < 0) return std::nullopt;
  Clock::time_point firstAt{}, lastAt{};
  std::size_t afterFirst = 0;
  std::thread far([&] {
    preciseTimers();
    std::vector<std::uint8_t> buffer(kReadSize);
    for (int connection = 0; connection < 3; ++connection) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      noDelay(fd);
      bool first = true;
      for (;;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) break;
        if (connection < 2) {
          if (!sendAll(fd, buffer.data(), static_cast<std::size_t>(n))) break;
          continue;
        }
        lastAt = Clock::now();
        if (first) {
          firstAt = lastAt;
          first = false;
        } else {
          afterFirst += static_cast<std::size_t>(n);
        }
      }
      close(fd);
    }
  });
  const auto finish = [&] {
    shutdown(listener, SHUT_RDWR);
    far.join();
    close(listener);
  };

  // The median round trip of one byte to the echo at `port`; nothing when a ping is lost.
  const auto pingPong = [](std::uint16_t port) -> std::optional<std::chrono::duration<double, std::milli>> {
    const int echo = connectTo(port);
    std::vector<Clock::duration> trips;
    std::uint8_t byte = 1;
    for (int i = 0; echo >= 0 && i < kPings; ++i) {
      const auto sent = Clock::now();
      if (!sendAll(echo, &byte, 1) || recv(echo, &byte, 1, MSG_WAITALL) != 1) break;
      trips.push_back(Clock::now() - sent);
    }
    if (echo >= 0) close(echo);
    if (trips.size() != kPings) return std::nullopt;
    std::nth_element(trips.begin(), trips.begin() + kPings / 2, trips.end());
    return trips[kPings / 2];
  };
  auto relay = LinkRelay::start(profile, 0, portOf(listener), error);
  std::optional<std::chrono::duration<double, std::milli>> loopback, trip;
  std::thread([&] {  // on a thread that keeps time as the lines' do
    preciseTimers();
    loopback = pingPong(portOf(listener));
    if (relay) trip = pingPong(relay->port());
  }).join();
  const int bulk = relay ? connectTo(relay->port()) : -1;
  const std::vector<std::uint8_t> data(bulkBytes, 0x5A);
  const bool sent = bulk >= 0 && sendAll(bulk, data.data(), data.size());
  if (bulk >= 0) {
    shutdown(bulk, SHUT_WR);
    char end;
    recv(bulk, &end, 1, 0);  // the far end closes once it has the last byte
    close(bulk);
  }
  finish();
  if (!loopback || !trip || !sent || afterFirst == 0) {
    if (error.empty()) error = "the link lost the connection while it was measured";
    return std::nullopt;
  }
  LinkCheck check;
  check.roundTrip = *trip;
  check.loopbackRoundTrip = *loopback;
  check.bitsPerSecond = static_cast<double>(afterFirst) * 8 / std::chrono::duration<double>(lastAt - firstAt).count();
  return check;
}

}  // namespace vantrel::bench
