// What vantrel web decides without a network: the consoles it may relay to, the files it serves
// and nothing else, the catalogue's texts for the page, the packing of what it relays.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "protocol/byte_io.h"
#include "support/temp_dir.h"
#include "web/console_list.h"
#include "web/page_files.h"
#include "web/relay_packing.h"

namespace vantrel::cli {
namespace {

TEST(WebConsoleList, TakesNamesAndAddressesOnlyEachInsideTlsUnlessNamedClear) {
  std::string error;
  const std::string key = "SHA256:" + std::string(43, 'A');
  const auto consoles = parseConsoleList({"lab=10.0.0.5", "rack-2.b=console.example:26000", "old=10.0.0.9"}, {"old"},
                                         {"lab=" + key}, error);
  ASSERT_TRUE(consoles) << error;
  EXPECT_EQ(consoles->at("lab").target.port, 25000);
  EXPECT_EQ(consoles->at("rack-2.b").target.host, "console.example");
  EXPECT_EQ(consoles->at("rack-2.b").target.port, 26000);
  EXPECT_FALSE(consoles->at("lab").clear);
  EXPECT_EQ(consoles->at("lab").pin, parseFingerprint(key));
  EXPECT_FALSE(consoles->at("rack-2.b").pin);
  EXPECT_TRUE(consoles->at("old").clear);

  struct Bad { std::vector<std::string> entries, clear, pins; const char* says; };
  for (const Bad& bad : std::vector<Bad>{
           {{"10.0.0.5"}, {}, {}, "is not NAME=HOST"},
           {{"=10.0.0.5"}, {}, {}, "is not NAME=HOST"},
           {{"a/b=10.0.0.5"}, {}, {}, "is not NAME=HOST"},
           {{"lab="}, {}, {}, ""},
           {{"lab=host:0"}, {}, {}, ""},
           {{"lab=a", "lab=b"}, {}, {}, "given twice"},
           {{"lab=a"}, {"other"}, {}, "--clear-console names 'other'"},
           {{"lab=a"}, {}, {"other=" + key}, "--tls-fingerprint names 'other'"},
           {{"lab=a"}, {}, {"lab=SHA256:short"}, "takes NAME=KEY"},
           {{"lab=a"}, {}, {"lab"}, "takes NAME=KEY"},
           {{"lab=a"}, {"lab"}, {"lab=" + key}, "is clear: it shows no key"},
       }) {
    EXPECT_FALSE(parseConsoleList(bad.entries, bad.clear, bad.pins, error)) << bad.entries.front();
    EXPECT_NE(error.find(bad.says), std::string::npos) << error;
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
  consoles["lab"] = {{"127.0.0.1", 25000}, false, std::nullopt};
  consoles["say \"hi\""] = {{"127.0.0.1", 25001}, true, std::nullopt};
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

TEST(WebRelayPacking, WhatPacksGoesSmallerTheRestAsItIsBothUnchanged) {
  std::vector<std::uint8_t> screenLike(600000), noise(5000), room;
  for (std::size_t i = 0; i < screenLike.size(); ++i) {
    screenLike[i] = static_cast<std::uint8_t>(i % 3 == 0 ? i / 3072 : 0x80);
  }
  std::uint32_t seed = 1;
  for (auto& b : noise) b = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
  const std::vector<std::uint8_t> overLong(web::kMostUnpacked + 1);  // packs well, but a page would not unpack it
  const std::vector<std::uint8_t> none;
  std::vector<std::uint8_t> packed;
  const struct { const std::vector<std::uint8_t>& bytes; std::uint8_t kind; } cases[] = {
      {screenLike, 1}, {noise, 0}, {none, 0}, {overLong, 0}};
  for (const auto& [bytes, kind] : cases) {
    web::packMessage(bytes, packed);
    EXPECT_EQ(packed[0], kind) << bytes.size();
    EXPECT_LE(packed.size(), bytes.size() + 1);
    const auto unpacked = web::unpackMessage(packed, room);
    ASSERT_TRUE(unpacked) << bytes.size();
    EXPECT_TRUE(std::ranges::equal(*unpacked, bytes)) << bytes.size();
    // Straight into a buffer of the caller's: of exactly the size the message says.
    ASSERT_EQ(web::unpackedSize(packed), bytes.size());
    std::vector<std::uint8_t> into(bytes.size() + 1, 0xEE);
    EXPECT_FALSE(web::unpackInto(packed, into));
    EXPECT_TRUE(web::unpackInto(packed, std::span(into).first(bytes.size())));
    EXPECT_TRUE(std::ranges::equal(std::span(into).first(bytes.size()), bytes));
    EXPECT_EQ(into.back(), 0xEE);
  }
  web::packMessage(screenLike, packed);
  EXPECT_LT(packed.size(), screenLike.size() / 10);
}

TEST(WebRelayPacking, AnythingButAPackedMessageIsRefused) {
  std::vector<std::uint8_t> bytes(100000, 7), packed, room;
  web::packMessage(bytes, packed);
  ASSERT_EQ(packed[0], 1);
  const auto withCount = [&](std::uint32_t count) {
    auto m = packed;
    storeU32le(m.data() + 1, count);
    return m;
  };
  const std::vector<std::uint8_t> truncated(packed.begin(), packed.end() - 1);
  for (const auto& bad : std::vector<std::vector<std::uint8_t>>{
           {}, {2, 0}, {1, 0, 0, 0}, truncated, withCount(99999), withCount(100001), withCount(0),
           withCount(static_cast<std::uint32_t>(web::kMostUnpacked + 1)), withCount(0xFFFFFFFF)}) {
    EXPECT_FALSE(web::unpackMessage(bad, room)) << bad.size();
    std::vector<std::uint8_t> into(web::unpackedSize(bad).value_or(0));
    EXPECT_FALSE(web::unpackInto(bad, into)) << bad.size();
  }
}

}  // namespace
}  // namespace vantrel::cli
