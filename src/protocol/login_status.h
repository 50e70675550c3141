#pragma once
// How the viewer answers each status word of the two login stages: the box it shows, if any,
// and the result of the stage.

#include <cstdint>
#include <string_view>

#include "catalog/user_messages.h"

namespace vantrel {

inline constexpr std::uint32_t kStatusLoggedIn = 101;  // second stage: logged in
inline constexpr std::uint32_t kStatusProceed = 107;   // first stage: send the login request
inline constexpr std::uint32_t kStatusThirdFailure = 111;
inline constexpr std::uint32_t kLoginRequest = 108;    // request code: user name and password follow
inline constexpr int kUnexpectedStatus = -2;

struct StatusResponse {
  int result;                   // 1 to go on, else the status word itself or kUnexpectedStatus
  std::string_view catalogKey;  // the box's catalogue key, empty when it has none
  std::string_view fixedText;   // or a box with this literal text
  bool raisesShowing;           // false: the box leaves msgBoxShowing alone
};

StatusResponse firstStatusResponse(std::uint32_t status);
StatusResponse secondStatusResponse(std::uint32_t status);

// Shows the box a response asks for, if any, owned by `owner`; returns the response's result.
int showResponse(UserMessages& messages, WindowRef owner, const StatusResponse& response);

}  // namespace vantrel
