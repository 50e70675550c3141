#include "status_words.h"

#include "server/console_server.h"

namespace vantrel::cli {

std::string_view consoleMeaning(std::uint32_t word) {
  switch (word) {
    case ConsoleServer::loginAccepted:
      return "logged in";
    case ConsoleServer::loginRejected:
      return "wrong user name or password, or not an enabled admin account";
    case ConsoleServer::clientLocked:
      return "the client is locked after three failed logins";
    case ConsoleServer::addressRefused:
      return "the address is not in the allow list";
    case ConsoleServer::serverRefused:
      return "the console refuses every viewer";
    case ConsoleServer::otherUser:
      return "another viewer is logged in";
    case ConsoleServer::proceed:
      return "the login may go on";
    case ConsoleServer::localRefused:
      return "the viewer is on the console's own machine";
    case ConsoleServer::thirdFailure:
      return "third failed login in a row: the client is locked for 15 minutes";
    default:
      return {};
  }
}

}  // namespace vantrel::cli
