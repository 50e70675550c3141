#pragma once
// The logins of a console, side by side: a thread takes every new connection and runs its login
// on a thread of its own, so that a client that says nothing (or drips a byte now and then)
// holds only its own connection, never the next viewer's login. A bounded number of logins run
// at once, and only a few of them from any one address; a connection beyond either limit is
// closed at once. A successful login takes the session only while no user is active.

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
  struct Outcome {
    ConsoleServer::LoginResult login;  // status 0 and not logged in: closed at once, over a limit
    std::string address;
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
  void start(std::unique_ptr<NetSocket> link, const std::string& address);
  void run(std::unique_ptr<NetSocket> link, const std::string& address, Login& self);
  void reapDone();  // mutex_ held

  ConsoleServer& server_;
  Limits limits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::list<Login> logins_;
  std::size_t inFlight_ = 0;
  std::map<std::string, std::size_t> perAddress_;
  std::deque<Outcome> outcomes_;
  std::once_flag stopped_;
  std::thread acceptor_;
};

}  // namespace vantrel
