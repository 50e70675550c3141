// What a viewer makes of a console's key: the known-consoles file and the decisions on it.
#include "tls/console_trust.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"
#include "tls/known_consoles.h"

namespace vantrel::cli {
namespace {

Sha256Digest key(std::uint8_t fill) {
  Sha256Digest d{};
  d.fill(fill);
  return d;
}

TEST(KnownConsoles, EachHostAndPortIsLookedUpOnItsOwn) {
  const std::string text = "# consoles of the second floor\n"
                           "\n"
                           "Console-A:25000 " + formatFingerprint(key(1)) + "\n"
                           "console-a:25443 " + formatFingerprint(key(2)) + "\n"
                           "console-b:25000 " + formatFingerprint(key(3)) + "\n"
                           "console-b:25000 " + formatFingerprint(key(4)) + "\n"  // a second key of one console
                           "console-c:0 " + formatFingerprint(key(5)) + "\n"
                           "console-c " + formatFingerprint(key(5)) + "\n"
                           "console-c:25000 SHA256:short\n"
                           "console-c:25000 " + formatFingerprint(key(5)) + " trailing\n";
  const auto known = parseKnownConsoles(text);
  ASSERT_EQ(known.size(), 4u);  // the last four lines are not entries
  EXPECT_EQ(known[0].line, 3u);

  struct Row { const char* host; std::uint16_t port; std::uint8_t shown; KnownAnswer answer; std::size_t line; };
  for (const Row& row : {Row{"console-a", 25000, 1, KnownAnswer::Match, 3},
                         Row{"CONSOLE-A", 25443, 2, KnownAnswer::Match, 4},
                         Row{"console-a", 25443, 1, KnownAnswer::Mismatch, 4},
                         Row{"console-b", 25000, 4, KnownAnswer::Match, 6},
                         Row{"console-b", 25000, 9, KnownAnswer::Mismatch, 5},
                         Row{"console-a", 25001, 1, KnownAnswer::NotFound, 0},
                         Row{"console-c", 25000, 5, KnownAnswer::NotFound, 0}}) {
    const KnownLookup found = lookUpConsole(known, row.host, row.port, key(row.shown));
    EXPECT_EQ(found.answer, row.answer) << row.host << ":" << row.port;
    EXPECT_EQ(found.entry ? found.entry->line : 0u, row.line) << row.host << ":" << row.port;
  }
}

TEST(KnownConsoles, AddingMakesAPrivateFileAndKeepsWhatWasThere) {
  test::TempDir dir;
  const KnownConsolesFile fresh(dir.path() / "config" / "vantrel" / "known_consoles");
  std::string error;
  EXPECT_EQ(fresh.read(error)->size(), 0u);  // no file yet: nothing known
  ASSERT_TRUE(fresh.add("Console-A", 25000, key(1), error)) << error;
  struct stat file {}, folder {};
  ASSERT_EQ(stat(fresh.path().c_str(), &file), 0);
  ASSERT_EQ(stat(fresh.path().parent_path().c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);

  const auto edited = dir.write("edited", "# mine\nconsole-z:1 " + formatFingerprint(key(7)));  // no line end
  const KnownConsolesFile mine(edited);
  ASSERT_TRUE(mine.add("console-a", 25000, key(1), error)) << error;
  EXPECT_EQ(dir.read("edited"), "# mine\nconsole-z:1 " + formatFingerprint(key(7)) + "\nconsole-a:25000 " +
                                    formatFingerprint(key(1)) + "\n");
  EXPECT_EQ(lookUpConsole(*mine.read(error), "console-z", 1, key(7)).answer, KnownAnswer::Match);
}

TEST(ConsoleTrust, NothingIsAcceptedSilently) {
  const KnownLookup notFound{};
  const KnownLookup match{KnownAnswer::Match, KnownConsole{"h", 1, key(1), 3}};
  const KnownLookup mismatch{KnownAnswer::Mismatch, KnownConsole{"h", 1, key(2), 3}};
  const auto policy = [](std::optional<Sha256Digest> pin, bool acceptNew, bool canAsk) {
    return TrustPolicy{pin, acceptNew, canAsk, "known", "connect again", ""};
  };
  struct Row { const char* name; TrustPolicy policy; KnownLookup known; Verdict verdict; const char* says; };
  for (const Row& row : std::vector<Row>{
           {"pinned", policy(key(1), false, false), mismatch, Verdict::Accept, ""},
           {"pinned other", policy(key(2), true, true), match, Verdict::Refuse, "not the one given with --tls-fingerprint"},
           {"known", policy({}, false, false), match, Verdict::Accept, ""},
           {"changed", policy({}, true, true), mismatch, Verdict::Refuse, "delete line 3 of known"},
           {"new, accepted before", policy({}, true, true), notFound, Verdict::Remember, "Remembered in known"},
           {"new, on a terminal", policy({}, false, true), notFound, Verdict::Ask, "Compare it with the key"},
           {"new, no one to ask", policy({}, false, false), notFound, Verdict::Refuse, "--accept-new"},
       }) {
    const TrustDecision decision = decideTrust("h:1", key(1), row.policy, row.known);
    EXPECT_EQ(decision.verdict, row.verdict) << row.name;
    EXPECT_NE(decision.text.find(row.says), std::string::npos) << row.name << ": " << decision.text;
  }
  // A changed key names both keys, so that the user can tell the administrator which is shown.
  const std::string changed = decideTrust("h:1", key(1), policy({}, false, true), mismatch).text;
  EXPECT_NE(changed.find("known: " + formatFingerprint(key(2))), std::string::npos) << changed;
  EXPECT_NE(changed.find("shown: " + formatFingerprint(key(1))), std::string::npos) << changed;
}

TEST(ConsoleTrust, AnswersAreYesNoOrTheKeyItself) {
  struct Row { std::string answer; std::optional<bool> read; };
  for (const Row& row : std::vector<Row>{{"yes", true},
                                         {" YES \r", true},
                                         {"no", false},
                                         {"", false},
                                         {"y", std::nullopt},
                                         {formatFingerprint(key(1)), true},
                                         {formatFingerprint(key(2)), false}}) {
    EXPECT_EQ(readTrustAnswer(row.answer, key(1)), row.read) << row.answer;
  }
}

}  // namespace
}  // namespace vantrel::cli
