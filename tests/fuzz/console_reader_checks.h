#pragma once
// What a hostile viewer can send a console: the request word and the credential blocks of the
// login, then the messages of the session, read by the responder over loopback until the
// viewer's orderly close. Any named user logs in, so that the message phase is reached. Shared
// by the fuzz target and the test that replays its seeds.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "server/console_server.h"
#include "support/scripted_peer.h"

namespace vantrel::console_reader_checks {

class AnyNamedUser final : public AccountChecks {
 public:
  AccountVerdict verifyAccountPassword(const std::string& user, const std::string&) override {
    return user.empty() ? AccountVerdict::UnknownUser : AccountVerdict::Valid;
  }
};

class Console {
 public:
  static constexpr std::size_t kPayloadCapacity = 1 << 16;

  Console() {
    server.setPorts(0, 0);
    server.setLoopbackOnly(true);
    server.setAllowLocal(true);
    server.setLoginLimits(2000, 5000);
    server.startListening();
  }

  // True when the responder came to the end of what the viewer sent.
  bool readsToTheEnd(std::span<const std::uint8_t> input) {
    using testing::ScriptStep;
    locks.clear();  // a run of failed logins must not lock the next input out
    auto viewer = testing::ScriptedPeer::viewer(server.listeningPort().value_or(0),
                                                {ScriptStep::send({input.begin(), input.end()}),
                                                 ScriptStep::closeSending(), ScriptStep::receiveToEnd()});
    bool ended = true;
    if (server.acceptLogin()) {
      ConsoleMessage m;
      m.payload = payload.data();
      // Every read takes at least one byte, so a session that outlives this many did not see the end.
      for (std::size_t pass = 0; pass <= input.size() && server.isLinkAlive(); ++pass) {
        server.receiveFromClient(m, payload.size());
      }
      ended = !server.isLinkAlive();
      server.endSession();
    }
    viewer->finish();
    return ended;
  }

 private:
  AnyNamedUser accounts;
  ClientLockTable locks;
  ConsoleServer server{accounts, locks};
  std::vector<std::uint8_t> payload = std::vector<std::uint8_t>(kPayloadCapacity);
};

}  // namespace vantrel::console_reader_checks
