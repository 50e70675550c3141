// The catalogue runs over the system's profile reader: GetPrivateProfileStringA under Wine,
// our own INI reader natively, so these tests hold both readers to one behaviour.
#include "catalog/message_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "catalog/exception.h"
#include "catalog/ini_file.h"
#include "fuzz/ini_checks.h"
#include "support/fuzz_seeds.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

constexpr const char* kIni =
    "; texts for the tests\r\n"
    "[MESSAGEBOX]\r\n"
    "LoginFailed_en=Logon failed\r\n"
    "LoginFailed_jp=JP logon failed\r\n"
    "LoginFailed_tw=TW logon failed\r\n"
    "TwoLines_en=first\\nsecond\r\n"
    "ThreeLines_en=a\\nb\\nc\r\n"
    "Empty_en=\r\n"
    "  Padded_en  =   spaced value   \r\n"
    "Quoted_en=\"  inside quotes  \"\r\n"
    "Mixed_en='left only\r\n"
    ";Commented_en=hidden\r\n"
    "ProjectName_en=Vantrel Test\r\n"
    "Plain=raw\\ntext\r\n"
    "[OTHER]\r\n"
    "OnlyHere_en=other section\r\n";

class MessageCatalogTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  MessageCatalog catalog{(dir.write("consoleclient.ini", kIni), dir.path().string())};

  std::string text(const char* key, std::uint32_t language = 0) {
    return catalog.lookupText(MessageCatalog::kSection, key, language);
  }
};

TEST_F(MessageCatalogTest, LanguageSelectsTheKeySuffix) {
  EXPECT_EQ(text("LoginFailed", 0), "Logon failed");
  EXPECT_EQ(text("LoginFailed", 1), "JP logon failed");
  EXPECT_EQ(text("LoginFailed", 2), "TW logon failed");
  EXPECT_EQ(text("LoginFailed", 7), "Logon failed");
}

TEST_F(MessageCatalogTest, BackslashNBecomesALineBreak) {
  EXPECT_EQ(text("TwoLines"), "first\nsecond");
  EXPECT_EQ(text("ThreeLines"), "a\nb\nc");
  EXPECT_EQ(MessageCatalog::convertLineBreaks("\\\\nn\\"), "\\\nn\\");
}

TEST_F(MessageCatalogTest, ReaderFollowsTheProfileRules) {
  EXPECT_EQ(catalog.lookupText("messagebox", "loginfailed", 0), std::string("Logon failed"));
  EXPECT_EQ(text("Padded"), "spaced value");
  EXPECT_EQ(text("Quoted"), "  inside quotes  ");
  EXPECT_EQ(text("Mixed"), "'left only");
  EXPECT_EQ(text("Commented"), "No Text");
  EXPECT_EQ(text("OnlyHere"), "No Text");
  EXPECT_EQ(catalog.lookupText("OTHER", "OnlyHere", 0), std::string("other section"));
  EXPECT_EQ(text("Missing"), "No Text");
  EXPECT_EQ(text("Empty"), "");
}

TEST_F(MessageCatalogTest, PlainLookupKeepsKeyAndBackslashes) {
  EXPECT_EQ(catalog.lookupPlain(MessageCatalog::kSection, "Plain"), std::string("raw\\ntext"));
  EXPECT_EQ(catalog.lookupPlain(MessageCatalog::kSection, "LoginFailed"), std::string("No Text"));
}

TEST(MessageCatalog, ArgumentChecksComeFirstAndInOrder) {
  int reads = 0;
  MessageCatalog catalog("unused", [&](auto, auto, auto, const std::string&) {
    ++reads;
    return std::string("read");
  });
  struct Case { const char* section; const char* key; const char* expected; };
  for (const Case& c : {Case{"", "", "No Field Text"}, Case{"S", "", "No Var Name"},
                        Case{" S", "", "No Var Name"}, Case{" S", " K", "No Field Text"},
                        Case{"S", " LoginFailed", "No Var Name"}}) {
    EXPECT_STREQ(catalog.lookupText(c.section, c.key, 0), c.expected) << c.section << "|" << c.key;
    EXPECT_STREQ(catalog.lookupPlain(c.section, c.key), c.expected) << c.section << "|" << c.key;
  }
  EXPECT_EQ(reads, 0);
  EXPECT_STREQ(catalog.lookupText("S", "K", 0), "read");
}

TEST(MessageCatalog, MissingFileGivesNoTextEverywhereIncludingTheReportCaption) {
  test::TempDir dir;
  MessageCatalog catalog(dir.path().string());
  EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, "LoginFailed", 0), "No Text");
  // A directory in the file's place (on Linux it opens, then fails to read): no text, no throw.
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::create_directory(dir.path() / "sub" / "consoleclient.ini");
  EXPECT_STREQ(MessageCatalog((dir.path() / "sub").string()).lookupText(MessageCatalog::kSection, "LoginFailed", 0),
               "No Text");

  struct Recorder : MessageBoxPort {
    std::string text, caption;
    unsigned style = 0;
    bool showingDuringBox = false;
    std::atomic<std::uint8_t>* flag = nullptr;
    void show(WindowRef, const std::string& t, const std::string& c, unsigned s) override {
      text = t, caption = c, style = s, showingDuringBox = (*flag == 1);
    }
  } boxes;
  std::atomic<std::uint8_t> showing{0};
  boxes.flag = &showing;
  Exception("key mapping failed").report(boxes, showing, catalog, 0, nullptr);
  EXPECT_EQ(boxes.text, "key mapping failed");
  EXPECT_EQ(boxes.caption, "No Text");
  EXPECT_EQ(boxes.style, 327696u);
  EXPECT_TRUE(boxes.showingDuringBox);
  EXPECT_EQ(showing, 0);
}

TEST(MessageCatalog, OverlongInputIsCutNotOverrun) {
  test::TempDir dir;
  const std::string longValue(3000, 'v');
  dir.write("consoleclient.ini", "[MESSAGEBOX]\r\nLong_en=" + longValue + "\r\n");
  MessageCatalog catalog(dir.path().string());
  EXPECT_EQ(std::string(catalog.lookupText(MessageCatalog::kSection, "Long", 0)), std::string(1023, 'v'));

  const std::string longKey(5000, 'k');
  EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, longKey, 0), "No Text");

  MessageCatalog deep(std::string(5000, 'd'));
  EXPECT_EQ(deep.path().size(), 1023u);
  EXPECT_STREQ(deep.lookupText(MessageCatalog::kSection, "Long", 0), "No Text");
}

TEST_F(MessageCatalogTest, EachThreadKeepsItsOwnResult) {
  const char* mine = catalog.lookupText(MessageCatalog::kSection, "LoginFailed", 0);
  std::thread other([&] {
    for (int i = 0; i < 20; ++i) EXPECT_STREQ(catalog.lookupText(MessageCatalog::kSection, "TwoLines", 0), "first\nsecond");
  });
  other.join();
  EXPECT_STREQ(mine, "Logon failed");
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST(SampleCatalogue, HasEveryKeyInEveryLanguage) {
  std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/host/consoleclient.ini", std::ios::binary);
  ASSERT_TRUE(in) << "sample catalogue not found";
  const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* key :
       {"ConnectServerFailed", "ThreeTimeFailed", "ClientLocked", "LoginFailed", "LocalConnectFailed",
        "OtherUserHasLogin", "UserRestricted", "userLocked", "ReferenUser", "ServerNoResponse",
        "AccountDisable", "NextLogonChangePwd", "ScreenTooLarge", "ServerCutConnect", "StartSecThreadFaile",
        "SystemVersionFailed", "GetBitFailed", "CreateDCFailed", "CreateMemFailed", "CloseClipboardFailed",
        "EmptyClipboardFailed", "ProjectName"}) {
    for (const char* suffix : {"_en", "_jp", "_tw"}) {
      const auto value = findIniValue(ini, MessageCatalog::kSection, std::string(key) + suffix);
      EXPECT_TRUE(value && !value->empty()) << key << suffix;
    }
  }
}

TEST(IniFile, FuzzSeedsGiveSoundValues) {
  const auto seeds = testing::fuzzSeeds("fuzz_ini");
  EXPECT_GE(seeds.size(), 3u);
  for (const auto& seed : seeds) EXPECT_TRUE(ini_checks::lookupsHold(seed.bytes)) << seed.name;
}

}  // namespace
}  // namespace vantrel
