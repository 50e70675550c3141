#include "api/session_params.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace vantrel {
namespace {

TEST(SessionParamsTest, CopiesAreCutAtTheirLimitAndAlwaysTerminated) {
  std::array<char, 8> out;
  out.fill('x');
  copyCut(out, "abc", 100);
  EXPECT_EQ(std::string(out.data()), "abc");
  EXPECT_EQ(out[7], '\0');  // the rest is cleared, not left as it was

  copyCut(out, "abcdefghijkl", 100);  // the buffer is the limit
  EXPECT_EQ(std::string(out.data()), "abcdefg");
  copyCut(out, "abcdefghijkl", 3);  // a limit below the buffer
  EXPECT_EQ(std::string(out.data()), "abc");
  copyCut(out, nullptr, 100);
  EXPECT_EQ(std::string(out.data()), "");
}

TEST(SessionParamsTest, TheBlockHoldsEveryArgumentWithTheTextsCut) {
  const std::string directory(3000, 'd'), longText(600, 't');
  int parent = 0, owner = 0;
  SessionParams params;
  fillSessionParams(params, {directory.c_str(), &parent, &owner, 1, 2, 3, 4, longText.c_str(), 5, "user",
                             longText.c_str(), 6, 7});
  EXPECT_EQ(std::string(params.iniDirectory), std::string(kIniDirectoryMax, 'd'));
  EXPECT_EQ(std::string(params.serverAddress), std::string(256, 't'));
  EXPECT_EQ(std::string(params.userName), "user");
  EXPECT_EQ(std::string(params.password), std::string(256, 't'));
  EXPECT_EQ(params.parentWindow, &parent);
  EXPECT_EQ(params.ownerWindow, &owner);
  EXPECT_EQ(params.areaLeft + params.areaTop * 10 + params.areaWidth * 100 + params.areaHeight * 1000, 4321);
  EXPECT_EQ(params.reservedA, 5u);
  EXPECT_EQ(params.reservedB, 6u);
  EXPECT_EQ(params.language, 7u);
}

}  // namespace
}  // namespace vantrel
