#include "server/concurrent_logins.h"

#include <chrono>
#include <system_error>

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the accepting thread looks whether it is to stop.
constexpr milliseconds kAcceptPoll{100};

}  // namespace

ConcurrentLogins::ConcurrentLogins(ConsoleServer& server) : ConcurrentLogins(server, Limits{}) {}

ConcurrentLogins::ConcurrentLogins(ConsoleServer& server, Limits limits) : server_(server), limits_(limits) {
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ConcurrentLogins::~ConcurrentLogins() { stop(); }

std::optional<ConcurrentLogins::Outcome> ConcurrentLogins::next() {
  std::unique_lock lk(mutex_);
  changed_.wait(lk, [this] { return stopping_ || !outcomes_.empty(); });
  if (stopping_) return std::nullopt;
  Outcome outcome = std::move(outcomes_.front());
  outcomes_.pop_front();
  return outcome;
}

void ConcurrentLogins::stop() {
  std::call_once(stopped_, [this] {
    {
      std::lock_guard guard(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    acceptor_.join();
    // A login that had not yet shown its connection to the server misses one interruption:
    // repeat until every login has ended.
    std::unique_lock lk(mutex_);
    while (inFlight_ > 0) {
      lk.unlock();
      server_.interruptLogins();
      lk.lock();
      changed_.wait_for(lk, milliseconds(20));
    }
    reapDone();
  });
}

void ConcurrentLogins::acceptLoop() {
  for (;;) {
    {
      std::lock_guard guard(mutex_);
      if (stopping_) return;
      reapDone();
    }
    const auto asked = Clock::now();
    std::unique_ptr<NetSocket> link = server_.acceptConnection(kAcceptPoll);
    if (!link) {
      // A failing listener fails at once; do not spin on it.
      if (Clock::now() - asked < kAcceptPoll / 2) std::this_thread::sleep_for(kAcceptPoll / 2);
      continue;
    }
    const std::string address = link->peerAddress().value_or("");
    start(std::move(link), address, clientKeyOf(address));
  }
}

ConcurrentLogins::TurnedAway ConcurrentLogins::roomFor(const std::string& client) {
  const auto from = perAddress_.find(client);
  if (from != perAddress_.end() && from->second >= limits_.perAddress) return TurnedAway::AddressFull;
  if (inFlight_ - displacing_ < limits_.inFlight) return TurnedAway::No;
  // Displaced logins end at once, but hold their threads until they have: so many of them at
  // once means the flood outruns their ends, and it waits for them.
  if (inFlight_ < 2 * limits_.inFlight && server_.displaceStalledLogin()) {
    ++displacing_;
    return TurnedAway::No;
  }
  return TurnedAway::ConsoleFull;
}

void ConcurrentLogins::start(std::unique_ptr<NetSocket> link, const std::string& address, const std::string& client) {
  std::unique_lock lk(mutex_);
  const TurnedAway turnedAway = stopping_ ? TurnedAway::No : roomFor(client);
  if (stopping_ || turnedAway != TurnedAway::No) {
    if (!stopping_) outcomes_.push_back({{}, address, turnedAway});
    changed_.notify_all();
    lk.unlock();
    link->close();
    return;
  }
  ++perAddress_[client];
  ++inFlight_;
  Login& login = logins_.emplace_back();
  try {
    login.thread = std::thread(
        [this, &login, address, client, l = std::move(link)]() mutable { run(std::move(l), address, client, login); });
  } catch (const std::system_error&) {
    // The connection went with the thread that could not start.
    --inFlight_;
    if (--perAddress_[client] == 0) perAddress_.erase(client);
    logins_.pop_back();
  }
}

void ConcurrentLogins::run(std::unique_ptr<NetSocket> link, const std::string& address, const std::string& client,
                           Login& self) {
  const ConsoleServer::LoginResult result = server_.login(std::move(link), ConsoleServer::SessionClaim::OnlyWhenFree);
  std::lock_guard guard(mutex_);
  --inFlight_;
  if (result.displaced) --displacing_;
  if (--perAddress_[client] == 0) perAddress_.erase(client);
  if (!stopping_) outcomes_.push_back({result, address});
  self.done = true;
  changed_.notify_all();
}

void ConcurrentLogins::reapDone() {
  // A login marks itself done as the last thing it does under the lock, so joining is quick.
  for (auto it = logins_.begin(); it != logins_.end();) {
    if (!it->done) {
      ++it;
      continue;
    }
    it->thread.join();
    it = logins_.erase(it);
  }
}

}  // namespace vantrel
