#include "server/windows_accounts.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(WindowsAccounts, OnlyASuccessOrAPolicyRefusalProvesThePassword) {
  struct Case { std::uint32_t result; bool valid; };
  for (const Case& c : {Case{0, true}, Case{2244, true}, Case{2245, true}, Case{2246, true},
                        Case{2221, false},   // no such user
                        Case{86, false},     // wrong password
                        Case{5, false},      // access denied
                        Case{1326, false},   // logon failure
                        Case{1909, false},   // account locked out
                        Case{53, false},     // network path not found
                        Case{1722, false},   // RPC server unavailable
                        Case{0xFFFFFFFFu, false}}) {
    EXPECT_EQ(WindowsAccounts::passwordChangeMeansValid(c.result), c.valid) << c.result;
  }
}

}  // namespace
}  // namespace vantrel
