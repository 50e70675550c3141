#pragma once
// The logins of a console, side by side: a thread takes every new connection and runs its login
// on a thread of its own, so that a client that says nothing (or drips a byte now and then)
// holds only its own connection, never the next viewer's login. Only a few logins run at once
// from any one address (an IPv6 one counts as its /64); a connection beyond that is closed at
// once. A bounded number run in all: when that many are under way, a new connection takes the
// place of one that is still waiting for its client (see ConsoleServer::displaceStalledLogin),
// so that stalled logins from however many addresses cannot keep a viewer out; only when none is
// waiting is it closed at once. A successful login takes the session only while no user is active.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "server/console_server.h"

namespace vantrel {

class ConcurrentLogins {
 public:
  struct Limits {
    std::size_t inFlight = 64;
    std::size_t perAddress = 4;
  };
  enum class TurnedAway {
    No,
    AddressFull,  // its address (for IPv6, its /64) had `perAddress` logins under way
    ConsoleFull,  // `inFlight` logins were under way, none of them waiting for its client
  };
  struct Outcome {
    ConsoleServer::LoginResult login;  // status 0 and not logged in when turned away
    std::string address;
    TurnedAway turnedAway = TurnedAway::No;
  };

  // Starts accepting on the listening server.
  explicit ConcurrentLogins(ConsoleServer& server);
  ConcurrentLogins(ConsoleServer& server, Limits limits);
  ConcurrentLogins(const ConcurrentLogins&) = delete;
  ConcurrentLogins& operator=(const ConcurrentLogins&) = delete;
  ~ConcurrentLogins();

  // The next login that has ended, in the order they end; nothing once stop() has been called.
  std::optional<Outcome> next();
  // Stops accepting, ends every login under way and waits for their threads. Safe from any
  // thread; next() returns nothing from then on.
  void stop();

 private:
  struct Login {
    std::thread thread;
    bool done = false;
  };

  void acceptLoop();
  // `client` is what the per-address limit counts the address as (clientKeyOf).
  void start(std::unique_ptr<NetSocket> link, const std::string& address, const std::string& client);
  void run(std::unique_ptr<NetSocket> link, const std::string& address, const std::string& client, Login& self);
  // Whether a login from the client may start, a stalled one displaced if need be (mutex_ held).
  TurnedAway roomFor(const std::string& client);
  void reapDone();  // mutex_ held

  ConsoleServer& server_;
  Limits limits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::list<Login> logins_;
  std::size_t inFlight_ = 0;   // login threads running
  std::size_t displacing_ = 0;  // of them, displaced ones that have not yet ended
  std::map<std::string, std::size_t> perAddress_;  // by client key
  std::deque<Outcome> outcomes_;
  std::once_flag stopped_;
  std::thread acceptor_;
};

}  // namespace vantrel
