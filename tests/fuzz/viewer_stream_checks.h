#pragma once
// What a hostile console can send a viewer, from the first status word of the login to the end
// of the session. The bytes reach the viewer over loopback and the console's end then closes in
// an orderly way; the viewer logs in and runs its session's receive path (framing, dispatch,
// the display on the software surface, the clipboard, the acknowledgements) on the calling
// thread until the link ends. Shared by the fuzz target and the test that replays its seeds.

#include <chrono>
#include <cstdint>
#include <span>

#include "display_checks.h"
#include "protocol/console_link.h"
#include "screen/software_surface.h"
#include "support/scripted_peer.h"
#include "viewer/client_connection.h"
#include "viewer/headless_session.h"

namespace vantrel::viewer_stream_checks {

// True when the viewer came to the end of the stream: its login failed, or its session ended
// once the console had nothing more to say.
inline bool sessionEnds(std::span<const std::uint8_t> input) {
  using testing::ScriptStep;
  auto console = testing::ScriptedPeer::console({ScriptStep::send({input.begin(), input.end()}),
                                                 ScriptStep::closeSending(), ScriptStep::receiveToEnd()});
  display_checks::NoBoxes boxes;
  UserMessages messages;
  messages.boxes = &boxes;
  ConsoleLinkOptions options;
  options.tcpPort = console->port();
  options.loginLimit = std::chrono::seconds(5);
  ConsoleLink link(messages, options);
  if (link.connectAndLogin("127.0.0.1", kLoginRequest, "viewer", "secret") != 1) return true;

  SoftwareSurface surface;
  HeadlessWindow window;
  MemoryClipboard clipboard;
  auto session = ClientConnection::create({surface, window, clipboard, messages}, {std::chrono::milliseconds(0)});
  if (!session) return false;
  session->link = &link;
  session->announceSurface(true);
  // The receive thread's loop without its pauses. Every pass takes at least one byte off the
  // stream, so a session that outlives this many passes did not see the stream end.
  const auto running = [&] { return link.isAlive() && session->receiveStop == 0 && session->sessionAbort == 0; };
  for (std::size_t pass = 0; pass <= input.size() && running(); ++pass) session->dispatchOne();
  return !running();
}

}  // namespace vantrel::viewer_stream_checks
