// The command line of the vantrel tool: every sub-command and option, their help texts and the
// exit-code table. The only file that includes CLI11, which takes long to compile.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "journal.h"
#include "latin1_text.h"

namespace vantrel::cli {
namespace {

constexpr const char* kDescription =
    "vantrel - the Linux side of the Vantrel remote console: a console server, a viewer in a window, a headless\n"
    "viewer that saves screenshots, the LAN probe, and tools for the screen codec, the credential cipher and the\n"
    "account file.";

constexpr const char* kExitTable =
    "Exit status:\n"
    "  0  success\n"
    "  1  wrong usage, a file that cannot be read or written, or (discover) no console answered\n"
    "  2  the console refused the login (snap, view)\n"
    "  3  no connection to the console (snap, view), or the port cannot be used (console)\n"
    "  4  no answer within the time-out (snap, view), or the account file cannot be read (console)\n"
    "  5  the session ended before what was asked for arrived (snap), the session ended or the console could\n"
    "     not be reached again (view), or the display is unusable or went away (console, view)\n"
    "  6  the console's TLS key or certificate is not trusted (snap, view)\n"
    "\n"
    "Run 'vantrel COMMAND --help' for the options of a command.";

// A bound on a number; the option's own text says what it counts, the error names the bounds.
CLI::Validator range(int least, int most) {
  CLI::Validator bound = CLI::Range(least, most);
  bound.description("");
  return bound;
}

CLI::Validator port(int least) { return range(least, 65535); }

std::string commandPath(const CLI::App* app) {
  std::string path;
  for (; app != nullptr; app = app->get_parent()) path = app->get_name() + (path.empty() ? "" : " ") + path;
  return path;
}

// The options of `file` ("name = value" lines, as the long options are named without their
// dashes) for those the command line left out. It runs with the options' callbacks, after the
// command line is read and before required options and exclusions are checked, which then see
// both.
void readConfigFile(CLI::App& c, const std::string& file) {
  const std::string where = "--config " + file + ": ";
  if (std::ifstream probe(file); !probe) throw CLI::FileError(where + "cannot read it: " + std::strerror(errno));
  auto& format = *c.get_config_formatter();
  for (const CLI::ConfigItem& item : format.from_file(file)) {
    if (item.name == "++" || item.name == "--") continue;  // the start and end of a section
    if (item.parents.size() > 1 || (item.parents.size() == 1 && item.parents[0] != c.get_name())) {
      throw CLI::ConfigError(where + "the section of '" + item.fullname() + "' is not [" + c.get_name() + "]");
    }
    CLI::Option* option = c.get_option_no_throw("--" + item.name);
    if (option == nullptr || !option->get_configurable()) {
      throw CLI::ConfigError(where + "'" + item.name + "' is not an option of '" + commandPath(&c) + "'");
    }
    if (option->count() > 0) continue;  // the command line wins
    if (option->get_expected_min() == 0) {
      option->add_result(option->get_flag_value(item.name, format.to_flag(item)));
    } else {
      option->add_result(item.inputs);
    }
    option->run_callback();
  }
}

// A sub-command with --help and --config: --help-all belongs to the top level.
CLI::App* command(CLI::App& parent, const char* name, const char* description) {
  auto* c = parent.add_subcommand(name, description);
  c->set_help_all_flag();
  c->add_option_function<std::string>(
       "--config", [c](const std::string& file) { readConfigFile(*c, file); },
       "read options from FILE, 'name = value' a line ('#' starts a comment); the command line wins")
      ->type_name("FILE")
      ->configurable(false);
  return c;
}

CLI::App* defineCipher(CLI::App& app, CipherSettings& s) {
  auto* c = command(app, "cipher",
                    "Encipher credential bytes as the viewer does (scramble) or decipher them as the console does");
  c->add_option("DIRECTION", s.direction, "scramble or unscramble")
      ->required()
      ->type_name("")
      ->check(CLI::IsMember({"scramble", "unscramble"}));
  c->add_option("HEX", s.hex, "the bytes in hex, padded with zeros to whole 8-byte blocks")->required()->type_name("");
  return c;
}

CLI::App* defineDiscover(CLI::App& app, DiscoverSettings& s) {
  auto* c = command(app, "discover",
                    "Probe the LAN for consoles and print each answering console's name "
                    "and address");
  c->add_option("--to", s.to, "probe this address or host name instead of broadcasting")->type_name("ADDR");
  c->add_option("--port", s.port, "UDP port of the probe")->check(port(1))->type_name("N")->capture_default_str();
  return c;
}

CLI::App* defineCodec(CLI::App& app, CodecSettings& s) {
  auto* c = command(app, "codec", "Compress a plain screen rectangle or expand a compressed one");
  c->add_option("DIRECTION", s.direction, "encode or decode")
      ->required()
      ->type_name("")
      ->check(CLI::IsMember({"encode", "decode"}));
  c->add_option("IN", s.in, "encode: a BMP file, or a plain block; decode: a compressed block")
      ->required()
      ->type_name("");
  c->add_option("OUT", s.out, "encode: the compressed block; decode: the plain block, a BMP file if named *.bmp")
      ->required()
      ->type_name("");
  c->add_option("--header-length", s.headerLength,
                "bytes of bitmap header before the pixels of a block (a BMP file's own header says it)")
      ->type_name("BYTES");
  c->footer(
      "A block is what a screen update carries: a bitmap header (BITMAPINFOHEADER, with the colour masks of\n"
      "16- and 32-bit pixels or the colour table of 8-bit ones), then rows of pixels without padding. A BMP\n"
      "file of 8, 16, 24 or 32 bits a pixel is taken as it is; encode prints the header length that decode\n"
      "then needs. 32-bit pixels are sent as 16-bit RGB565.");
  return c;
}

// A sub-command and what runs it.
using Command = std::pair<const CLI::App*, std::function<int()>>;

std::vector<Command> defineAccount(CLI::App& app, AccountSettings& s) {
  auto* account = app.add_subcommand("account", "Manage the console's account file");
  account->set_help_all_flag();
  account->require_subcommand(1);
  const auto file = [&s](CLI::App* c) {
    c->add_option("FILE", s.file, "the account file; other lines are kept as they are")->required()->type_name("");
  };
  const auto name = [&s](CLI::App* c) { c->add_option("NAME", s.name, "the account name")->required()->type_name(""); };
  const std::string asked =
      "On a terminal the password is asked twice without echo; otherwise it is the first line of standard\n"
      "input. An empty password is refused.";

  auto* add = command(*account, "add", "Add an account to the file, or replace the one of the same name");
  file(add);
  name(add);
  add->add_option("--role", s.role, "what the account is; only admin accounts can log in")
      ->type_name("ROLE")
      ->check(CLI::IsMember({"admin", "user", "guest"}))
      ->capture_default_str();
  add->add_flag("--disabled", s.disabled, "add the account disabled");
  add->footer(
      "Only enabled admin accounts can log in to the console; user and guest accounts are always refused.\n"
      "A name is refused when it starts with '#', holds a blank, ':' or a control character, or is longer\n"
      "than a viewer sends. The file is created when missing, readable by its owner only.\n" + asked);

  auto* passwd = command(*account, "passwd", "Change the password of an account; its role and state stay");
  file(passwd);
  name(passwd);
  passwd->footer(asked);

  auto* remove = command(*account, "remove", "Remove an account from the file");
  file(remove);
  name(remove);

  auto* list = command(*account, "list", "List the accounts of the file: name, role and 'disabled'");
  file(list);
  list->footer("Lines no login can use are named on standard error.");
  return {{add, [&s] { return runAccountAdd(s); }},
          {passwd, [&s] { return runAccountPasswd(s); }},
          {remove, [&s] { return runAccountRemove(s); }},
          {list, [&s] { return runAccountList(s); }}};
}

constexpr const char* kViewerTlsNote =
    "With TLS and neither --tls-ca nor --tls-fingerprint, a console not known yet shows its key, which is\n"
    "remembered once you accept it on the terminal (or with --accept-new); a known console whose key has\n"
    "changed is refused. Nothing is sent to a console before it is trusted.";

// The options of TLS, the same for both viewers.
void addViewerTls(CLI::App* c, ViewerTlsSettings& t) {
  c->add_flag("--tls", t.tls, "talk to the console inside TLS (the console needs --tls); the options below imply it");
  c->add_option("--tls-ca", t.caFile, "trust a certificate for the host name signed by a CA in FILE")->type_name("FILE");
  c->add_option("--tls-fingerprint", t.fingerprint, "trust only this key, as the console prints it (SHA256:...)")
      ->type_name("KEY");
  c->add_option("--known-consoles", t.knownConsoles,
                "else trust the keys remembered in FILE (~/.config/vantrel/known_consoles)")
      ->type_name("FILE");
  c->add_flag("--accept-new", t.acceptNew, "trust a console not known yet without asking, and remember its key");
}

CLI::App* defineConsole(CLI::App& app, ConsoleSettings& s) {
  auto* c = command(app, "console",
                    "Serve a screen to viewers: a built-in animated desktop, PNG images or an X desktop");
  auto* accounts = c->add_option("--accounts", s.accounts, "check logins against this account file")->type_name("FILE");
  c->add_option("--pam", s.pam, "check logins through PAM with this service instead")
      ->type_name("SERVICE")
      ->excludes(accounts);
  c->add_option("--admin-group", s.adminGroup, "with --pam: the group whose members may log in")
      ->type_name("GROUP")
      ->capture_default_str();
  c->add_option("--listen", s.listen, "an address of this machine to listen on: 127.0.0.1, another loopback address or "
                "::1 (this machine only), 0.0.0.0 (every IPv4 address) or :: (every address, IPv4 too)")
      ->type_name("ADDR")
      ->capture_default_str();
  c->add_option("--port", s.port, "TCP port for viewers; 0 takes any free port")
      ->check(port(0))
      ->type_name("N")
      ->capture_default_str();
  c->add_option("--allow-file", s.allowFile,
                "allow only the addresses listed (a.b.c.d, a-b or 10.1.*.*, one a line; '#' starts a comment)")
      ->type_name("FILE");
  c->add_flag("--allow-local", s.allowLocal, "let viewers on this machine log in (refused otherwise)");
  c->add_flag("--refuse-all", s.refuseAll, "refuse every viewer");
  c->add_flag("--probe", s.probe, "answer the LAN probe of 'vantrel discover' and of viewers");
  c->add_option("--probe-port", s.probePort, "UDP port of the probe")
      ->check(port(1))
      ->type_name("N")
      ->capture_default_str();
  c->add_option("--size", s.size, "screen size; 1024x768 unless an X desktop fits a smaller one")
      ->check(CLI::IsMember({"1024x768", "800x600", "640x480"}))
      ->type_name("WxH");
  c->add_option("--source", s.source, "'demo', 'x11[:DISPLAY]' for an X desktop, or PNG files shown in turn")
      ->type_name("WHAT");
  c->add_flag("--view-only", s.viewOnly, "with an X desktop: take no keys, pointer or clipboard from viewers");
  c->add_flag("--no-cursor", s.noCursor, "with an X desktop: leave its pointer out of the picture");
  c->add_option("--fit", s.fit,
                "a PNG larger than the screen: 'letterbox' scales it to fit between black bars, 'crop' cuts it")
      ->type_name("HOW")
      ->check(CLI::IsMember({"letterbox", "crop"}))
      ->capture_default_str();
  c->add_option("--interval", s.interval, "how long each PNG is shown")
      ->check(range(1, 3600000))
      ->type_name("MS")
      ->capture_default_str();
  c->add_option("--idle-limit", s.idleLimit,
                "end the session of a viewer that has acknowledged nothing, or read nothing, for this long")
      ->check(range(1, 86400))
      ->type_name("SECONDS")
      ->capture_default_str();
  c->add_option("--input-log", s.inputLog,
                "append what viewers send to FILE as JSON lines ('-' for standard output): every key, and each "
                "clipboard text's length and first 64 bytes; a new FILE is made readable by its owner alone")
      ->type_name("FILE");
  // Viewers take 8-bit Latin-1 text: a UTF-8 argument (what a terminal gives) goes as Latin-1;
  // bytes that are not UTF-8 are taken to be Latin-1 already and go as they are.
  c->add_option("--clipboard-text", s.clipboardText,
                "send this text to each viewer's clipboard (UTF-8 goes as Latin-1, '?' for what it lacks)")
      ->transform([](const std::string& text) { return isUtf8(text) ? utf8ToLatin1(text) : text; })
      ->type_name("TEXT");
  c->add_flag("--tls", s.tls, "serve viewers inside TLS, with a key made once and kept in the state folder");
  c->add_option("--tls-cert", s.tlsCertificate, "with --tls: show this certificate (its chain after it) instead")
      ->type_name("FILE");
  c->add_option("--tls-key", s.tlsKey, "the key of --tls-cert when it is not in the same file")->type_name("FILE");
  c->add_option("--state-dir", s.stateDir,
                "where the console keeps its key (a unit's StateDirectory, /var/lib/vantrel for root, else "
                "~/.local/state/vantrel)")
      ->type_name("DIR");
  c->add_option("--clear-port", s.clearPort, "with --tls: also serve viewers without TLS (the DLL's) on this port")
      ->check(port(0))
      ->type_name("N");
  c->add_flag("--allow-clear-passwords", s.allowClearPasswords,
              "with --pam: take Unix passwords on a network port without TLS, readable on the way");
  c->footer(
      "One of --accounts and --pam is needed. An X desktop (x11 alone: the one of $DISPLAY) takes the viewer's\n"
      "keys, pointer and clipboard through XTEST; of the viewer's special requests Alt+Tab is typed and\n"
      "Ctrl+Alt+Del is logged and not passed on. A desktop larger than 1024x768 is scaled down to fit.\n"
      "Log lines go to standard output, warnings to standard error, each starting with an ISO 8601 time; in\n"
      "systemd's journal (JOURNAL_STREAM) with its syslog priority instead.\n"
      "SIGINT, SIGTERM or SIGHUP ends the session (the viewer is told, what it held down is released) and the\n"
      "console; so does the loss of the X desktop, with exit status 5.\n"
      "Without --tls, viewers' credentials cross the network in a form anyone on the path can read and replay:\n"
      "with --pam the console refuses that on an address other than loopback unless --allow-clear-passwords.\n"
      "With --tls the console prints its key's fingerprint at start, for viewers' --tls-fingerprint.");
  return c;
}

CLI::App* defineSnap(CLI::App& app, SnapSettings& s) {
  auto* c = command(app, "snap",
                    "Log in as a viewer without a screen and save the first whole screen (or a later one) as PNG");
  c->add_option("HOST[:PORT]", s.target,
                "the console, by address or name, an IPv6 address in brackets ([::1]:25000); port 25000 unless given")
      ->required()
      ->type_name("");
  c->add_option("--user", s.user, "the account name")->required()->type_name("NAME");
  auto* password =
      c->add_option("--password", s.password.password,
                    "the password; every user of this machine can read it in the process list: prefer --password-file "
                    "or VANTREL_PASSWORD");
  password->type_name("PASS");
  c->add_option("--password-file", s.password.passwordFile, "read the password from the first line of FILE")
      ->type_name("FILE")
      ->excludes(password);
  c->add_option("--out", s.out, "where to save the screen")->required()->type_name("FILE.png");
  c->add_option("--timeout", s.timeout, "give up after this long, the login included")
      ->check(range(1, 86400))
      ->type_name("SECONDS")
      ->capture_default_str();
  c->add_option("--frames", s.frames, "after the first whole screen, wait for N more updates")
      ->check(range(0, 1000000))
      ->type_name("N")
      ->capture_default_str();
  c->add_option("--catalog", s.catalog, "read the texts of the viewer's messages from DIR/consoleclient.ini")
      ->type_name("DIR");
  c->add_flag("--stats", s.stats, "with --frames: print updates per second, CPU per update and peak memory");
  c->add_option("--clipboard-in", s.clipboardIn, "after the login, send the text of FILE ('-': standard input) as "
                                                 "this viewer's clipboard")
      ->type_name("FILE");
  c->add_option("--clipboard-out", s.clipboardOut, "save the last clipboard text the console sent to FILE")
      ->type_name("FILE");
  addViewerTls(c, s.tls);
  c->footer(std::string("Without --password or --password-file the password comes from the environment variable ") +
            kPasswordVariable + ",\nelse it is asked without echo when standard input is a terminal.\n" + kViewerTlsNote);
  return c;
}

CLI::App* defineView(CLI::App& app, ViewSettings& s) {
  auto* c = command(app, "view", "Open the console's screen in a window and work on it: keys, pointer, clipboard");
  c->add_option("HOST[:PORT]", s.target,
                "the console, by address or name, an IPv6 address in brackets ([::1]:25000); port 25000 unless given")
      ->required()
      ->type_name("");
  c->add_option("--user", s.user, "the account name")->required()->type_name("NAME");
  c->add_option("--password-file", s.password.passwordFile, "read the password from the first line of FILE")
      ->type_name("FILE");
  c->add_option("--scale", s.scale, "'fit': the screen scaled to the window; '1': 1:1, the wheel scrolls")
      ->check(CLI::IsMember({"fit", "1"}))
      ->type_name("HOW")
      ->capture_default_str();
  c->add_flag("--full-screen", s.fullScreen, "start full screen");
  c->add_option("--reconnect", s.reconnect, "after the link drops, try again for this long (0: do not)")
      ->check(range(0, 86400))
      ->type_name("SECONDS")
      ->capture_default_str();
  c->add_option("--timeout", s.timeout, "give up a login after this long")
      ->check(range(1, 86400))
      ->type_name("SECONDS")
      ->capture_default_str();
  c->add_option("--menu-key", s.menuKey, "the key that opens the key menu")->type_name("KEY")->capture_default_str();
  c->add_option("--full-screen-key", s.fullScreenKey, "the key that switches full screen on and off")
      ->type_name("KEY")
      ->capture_default_str();
  c->add_option("--catalog", s.catalog, "read the texts of the viewer's messages from DIR/consoleclient.ini")
      ->type_name("DIR");
  addViewerTls(c, s.tls);
  c->footer(std::string("Without --password-file the password comes from the environment variable ") +
            kPasswordVariable +
            ",\nelse it is asked without echo when standard input is a terminal. The key menu sends Ctrl+Alt+Del,\n"
            "Alt+Tab, Ctrl+Space and Alt+F4 to the console, which the local desktop would keep for itself (arrows\n"
            "and Return or the pointer choose, Escape closes it). Keys are named as SDL names them: F8, F11, Pause,\n"
            "Scroll Lock... Text goes to the console in Latin-1: characters beyond it are pasted as '?'.\n" +
            kViewerTlsNote);
  return c;
}

CLI::App* defineWeb(CLI::App& app, WebSettings& s) {
  auto* c = command(app, "web", "Serve the console in a browser tab: the viewer page and a relay to the consoles named");
  c->add_option("--console", s.consoles, "a console the page offers by NAME, at HOST, port 25000 unless given; "
                                         "repeat for more")
      ->required()
      ->type_name("NAME=HOST[:PORT]");
  c->add_option("--listen", s.listen, "the IP address to serve on")->type_name("ADDR")->capture_default_str();
  c->add_option("--port", s.port, "TCP port of the page (8443; 8080 with --clear-http); 0 takes any free port")
      ->check(port(0))
      ->type_name("N");
  c->add_option("--page-dir", s.pageDir, "serve the page's files from DIR (the wasm build's page folder) instead of "
                                         "the installed ones")
      ->type_name("DIR");
  c->add_option("--max-sessions", s.maxSessions, "browsers relayed at once")
      ->check(range(1, 1024))
      ->type_name("N")
      ->capture_default_str();
  c->add_option("--idle-limit", s.idleLimit, "drop a browser that has answered no ping for this long")
      ->check(range(2, 86400))
      ->type_name("SECONDS")
      ->capture_default_str();
  c->add_option("--tls-cert", s.tlsCertificate, "show browsers this certificate (its chain after it) instead of a "
                                                "key made once and kept in the state folder")
      ->type_name("FILE");
  c->add_option("--tls-key", s.tlsKey, "the key of --tls-cert when it is not in the same file")->type_name("FILE");
  c->add_option("--state-dir", s.stateDir,
                "where the gateway keeps its key (/var/lib/vantrel for root, else ~/.local/state/vantrel)")
      ->type_name("DIR");
  c->add_flag("--clear-http", s.clearHttp, "serve the page over clear HTTP, for a try on 127.0.0.1");
  c->add_flag("--clear-http-on-network", s.clearOnNetwork,
              "serve clear HTTP on an address other than loopback, where anyone on the network can read the "
              "passwords and keystrokes");
  c->add_option("--clear-console", s.clearConsoles, "relay to the console NAME without TLS (one without --tls, or "
                                                    "its --clear-port); repeat for more")
      ->type_name("NAME");
  c->add_option("--tls-fingerprint", s.pins, "trust only this key for the console NAME, as it prints it; repeat for "
                                             "more")
      ->type_name("NAME=KEY");
  c->add_option("--tls-ca", s.caFile, "else trust a console's certificate for its host name signed by a CA in FILE")
      ->type_name("FILE");
  c->add_option("--known-consoles", s.knownConsoles,
                "else trust the keys remembered in FILE (~/.config/vantrel/known_consoles)")
      ->type_name("FILE");
  c->add_flag("--accept-new", s.acceptNew, "remember the key of a console not known yet when a browser first uses it");
  c->footer(
      "Open https://ADDR:PORT/ in a browser, choose a console and log in as in the other viewers. The gateway prints\n"
      "its certificate's SHA-256 at start: compare it with the one the browser shows before accepting it. The\n"
      "browser names a console; the gateway connects only to the addresses given here, inside TLS, and relays\n"
      "only to a console whose key it trusts; a console not known is refused with its key in the log.\n"
      "Log lines go to standard output. SIGINT or SIGTERM stops it.");
  return c;
}

// The innermost sub-command the parser entered.
const CLI::App* deepest(const CLI::App& app) {
  const CLI::App* at = &app;
  for (auto subs = at->get_subcommands(); !subs.empty(); subs = at->get_subcommands()) at = subs.front();
  return at;
}

// CLI11's messages for arguments it could not place are generic; name the first one instead.
std::string describe(const CLI::App& app, const CLI::ParseError& error) {
  for (const CLI::App* at = deepest(app); at != nullptr; at = at->get_parent()) {
    for (const auto& extra : at->remaining()) {
      if (extra.size() > 1 && extra[0] == '-') return "unknown option '" + extra + "'";
    }
  }
  const CLI::App* const at = deepest(app);
  const auto extras = at->remaining(true);
  if (!extras.empty() && at == &app) return "unknown command '" + extras.front() + "'";
  if (const auto choices = at->get_subcommands([](const CLI::App*) { return true; });
      extras.empty() && !choices.empty() && at->get_subcommands().empty()) {
    std::string names;
    for (const CLI::App* choice : choices) names += (names.empty() ? "" : ", ") + choice->get_name();
    return "a command is required: " + names;
  }
  if (!extras.empty() && dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    return "unexpected argument '" + extras.front() + "'";
  }
  return error.what();
}

}  // namespace

void printError(const char* command, const std::string& message) {
  std::fprintf(stderr, "%svantrel %s: %s\n", journalPriority(stderr, Priority::Error).c_str(), command,
               message.c_str());
}

int fail(const char* command, const std::string& message) {
  printError(command, message);
  return kExitUsage;
}

int runCommandLine(int argc, const char* const* argv) {
  CLI::App app(kDescription, "vantrel");
  app.set_version_flag("--version", std::string("vantrel ") + VANTREL_VERSION);
  app.set_help_all_flag("--help-all", "Print this help message and that of every command, and exit");
  app.require_subcommand(1);
  app.get_formatter()->column_width(30);

  CipherSettings cipher;
  DiscoverSettings discover;
  CodecSettings codec;
  AccountSettings account;
  ConsoleSettings console;
  SnapSettings snap;
  ViewSettings view;
  WebSettings web;
  std::vector<Command> commands = {
      {defineCipher(app, cipher), [&] { return runCipher(cipher); }},
      {defineDiscover(app, discover), [&] { return runDiscover(discover); }},
      {defineCodec(app, codec), [&] { return runCodec(codec); }},
  };
  std::ranges::copy(defineAccount(app, account), std::back_inserter(commands));
  commands.insert(commands.end(), {
                                      {defineConsole(app, console), [&] { return runConsole(console); }},
                                      {defineSnap(app, snap), [&] { return runSnap(snap); }},
                                      {defineView(app, view), [&] { return runView(view); }},
                                      {defineWeb(app, web), [&] { return runWeb(web); }},
                                  });
  app.footer(kExitTable);  // after the sub-commands, which would inherit it

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help or --version
    const CLI::App* where = deepest(app);
    std::fprintf(stderr, "%s%s: %s\nRun '%s --help' for more information.\n",
                 journalPriority(stderr, Priority::Error).c_str(), commandPath(where).c_str(),
                 describe(app, error).c_str(), commandPath(where).c_str());
    return kExitUsage;
  }
  for (const auto& [command, run] : commands) {
    if (deepest(app) == command) return run();
  }
  return kExitUsage;  // not reached: require_subcommand leaves no other way
}

}  // namespace vantrel::cli
