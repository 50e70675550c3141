#pragma once
// The sub-commands of the vantrel tool, one file each. command_line.cpp reads the command line
// into the settings below and calls the command's run function, which returns the exit code.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewer/password_source.h"

namespace vantrel::cli {

// One table for every sub-command; the top-level --help prints it.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,           // wrong arguments, an unusable file, or no console answered a probe
  kExitRefused = 2,         // snap, view: the console refused the login
  kExitNoConnection = 3,    // snap, view: no connection; console: cannot listen or answer probes
  kExitTimeOut = 4,         // snap, view: no answer within the time-out
  kExitAccounts = 4,        // console: the account file cannot be read
  kExitSessionEnded = 5,    // snap: the session ended before what was asked for arrived;
                            // view: the session ended (not by the user), or the link was not regained
  kExitDisplay = 5,         // console, view: the display cannot be opened or used
  kExitUntrusted = 6,       // snap, view: the console's TLS key or certificate is not trusted
};

struct CipherSettings {
  std::string direction;  // scramble or unscramble
  std::string hex;
};

struct DiscoverSettings {
  std::optional<std::string> to;
  std::uint16_t port = 25001;
};

struct CodecSettings {
  std::string direction;  // encode or decode
  std::optional<std::uint32_t> headerLength;  // a BMP file's own header says it
  std::string in;
  std::string out;
};

struct AccountSettings {
  std::string file;
  std::string name;
  std::string role = "admin";
  bool disabled = false;
};

struct ConsoleSettings {
  std::optional<std::string> accounts;
  std::optional<std::string> pam;  // a PAM service instead of the account file
  std::string adminGroup = "sudo";
  std::string listen = "0.0.0.0";
  std::uint16_t port = 25000;
  std::uint16_t probePort = 25001;
  std::optional<std::string> allowFile;
  bool allowLocal = false;
  bool refuseAll = false;
  bool probe = false;
  std::optional<std::string> size;  // 1024x768 unless an X desktop chooses
  std::vector<std::string> source;  // "demo", "x11[:DISPLAY]", or PNG files
  bool viewOnly = false;
  bool noCursor = false;
  std::string fit = "letterbox";    // or crop
  unsigned interval = 3000;         // milliseconds
  unsigned idleLimit = 60;          // seconds a viewer may keep the console waiting
  std::optional<std::string> inputLog;  // "-": standard output
  std::optional<std::string> clipboardText;
  bool tls = false;
  std::optional<std::string> tlsCertificate;
  std::optional<std::string> tlsKey;         // the certificate's file unless given
  std::optional<std::string> stateDir;       // where a made key is kept
  std::optional<std::uint16_t> clearPort;    // beside TLS, for viewers without it
  bool allowClearPasswords = false;          // PAM passwords on a clear network port
};

// How snap and view check a console's TLS key: against a CA bundle and the host name, a pin, or
// the known-consoles file. Any of these options asks for TLS.
struct ViewerTlsSettings {
  bool tls = false;
  std::optional<std::string> caFile;
  std::optional<std::string> fingerprint;
  std::optional<std::string> knownConsoles;
  bool acceptNew = false;
  bool wanted() const { return tls || caFile || fingerprint || knownConsoles || acceptNew; }
};

struct SnapSettings {
  std::string target;  // HOST[:PORT]
  std::string user;
  PasswordSources password;
  std::string out;
  unsigned timeout = 20;  // seconds
  unsigned frames = 0;
  std::optional<std::string> catalog;
  bool stats = false;
  std::optional<std::string> clipboardIn;  // "-": standard input
  std::optional<std::string> clipboardOut;
  ViewerTlsSettings tls;
};

struct ViewSettings {
  std::string target;  // HOST[:PORT]
  std::string user;
  PasswordSources password;
  std::string scale = "fit";  // or "1"
  bool fullScreen = false;
  unsigned reconnect = 30;  // seconds after a drop in which to try again
  unsigned timeout = 20;    // seconds for each login
  std::string menuKey = "F8";
  std::string fullScreenKey = "F11";
  std::optional<std::string> catalog;
  ViewerTlsSettings tls;
};

struct WebSettings {
  std::string listen = "127.0.0.1";
  std::optional<std::uint16_t> port;  // 8443, or 8080 for clear HTTP
  std::vector<std::string> consoles;  // NAME=HOST[:PORT]
  std::optional<std::string> pageDir;
  unsigned maxSessions = 32;
  unsigned idleLimit = 120;           // seconds a browser may leave a ping unanswered
  // The page over HTTPS: a certificate given, or a key made once and kept in the state folder.
  std::optional<std::string> tlsCertificate;
  std::optional<std::string> tlsKey;
  std::optional<std::string> stateDir;
  bool clearHttp = false;             // for a try on loopback
  bool clearOnNetwork = false;        // clear HTTP on another address too
  // The consoles: inside TLS, trusted by pin, CA or the known consoles, unless named clear.
  std::vector<std::string> clearConsoles;
  std::vector<std::string> pins;      // NAME=SHA256:...
  std::optional<std::string> caFile;
  std::optional<std::string> knownConsoles;
  bool acceptNew = false;
};

int runCipher(const CipherSettings& settings);
int runDiscover(const DiscoverSettings& settings);
int runCodec(const CodecSettings& settings);
int runAccountAdd(const AccountSettings& settings);
int runAccountPasswd(const AccountSettings& settings);
int runAccountRemove(const AccountSettings& settings);
int runAccountList(const AccountSettings& settings);
int runConsole(const ConsoleSettings& settings);
int runSnap(const SnapSettings& settings);
int runView(const ViewSettings& settings);
int runWeb(const WebSettings& settings);

// Parses the whole command line, runs the sub-command and returns the exit code.
int runCommandLine(int argc, const char* const* argv);

// Prints "vantrel <command>: <message>" to standard error, as an error in systemd's journal.
void printError(const char* command, const std::string& message);
// The same, returning kExitUsage.
int fail(const char* command, const std::string& message);

}  // namespace vantrel::cli
