// What vantrel web decides without a network: the consoles it may relay to, the files it serves
// and nothing else, the catalogue's texts for the page.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "web/console_list.h"
#include "web/page_files.h"

namespace vantrel::cli {
namespace {

TEST(WebConsoleList, TakesNamesAndAddressesOnly) {
  std::string error;
  const auto consoles = parseConsoleList({"lab=10.0.0.5", "rack-2.b=console.example:26000"}, error);
  ASSERT_TRUE(consoles) << error;
  EXPECT_EQ(consoles->at("lab").port, 25000);
  EXPECT_EQ(consoles->at("rack-2.b").host, "console.example");
  EXPECT_EQ(consoles->at("rack-2.b").port, 26000);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"10.0.0.5"}, {"=10.0.0.5"}, {"a/b=10.0.0.5"},
                                             {"lab="}, {"lab=host:0"}, {"lab=a", "lab=b"}}) {
    EXPECT_FALSE(parseConsoleList(bad, error)) << bad.front();
    EXPECT_FALSE(error.empty());
  }
}

TEST(WebPageFiles, ServesTheFixedListAndTheDocumentsMadeAtStart) {
  test::TempDir dir;
  for (const char* name : {"index.html", "style.css", "viewer.js", "core.js", "keys.js", "view.js", "vantrel.wasm"}) {
    dir.write(name, name);
  }
  dir.write("secret.txt", "not served");
  std::string error;
  ConsoleList consoles;
  consoles["lab"] = {"127.0.0.1", 25000};
  consoles["say \"hi\""] = {"127.0.0.1", 25001};
  const auto page = PageFiles::load(dir.path().string(), consoles, error);
  ASSERT_TRUE(page) << error;
  EXPECT_EQ(page->find("/")->body, "index.html");
  EXPECT_EQ(page->find("/vantrel.wasm?v=2")->contentType, "application/wasm");
  EXPECT_EQ(page->find("/consoles.json")->body, R"(["lab","say \"hi\""])");
  for (const char* target : {"/secret.txt", "/../index.html", "/./index.html", "index.html", "//index.html", ""}) {
    EXPECT_EQ(page->find(target), nullptr) << target;
  }
  std::filesystem::remove(dir.path() / "keys.js");
  EXPECT_FALSE(PageFiles::load(dir.path().string(), consoles, error));
  EXPECT_NE(error.find("keys.js"), std::string::npos);
}

TEST(WebPageFiles, TheCataloguesEnglishAsJson) {
  EXPECT_EQ(catalogueJson("; a comment\n[MESSAGEBOX]\r\nLoginFailed_en=Logon failed.\\nTry again.\r\n"
                          "LoginFailed_jp=x\nQuote_en=say \"no\"\\ \n"),
            R"({"LoginFailed":"Logon failed. Try again.","Quote":"say \"no\"\\ "})");
}

}  // namespace
}  // namespace vantrel::cli
