#include "protocol/login_status.h"

#include <algorithm>
#include <array>

namespace vantrel {
namespace {

struct Row {
  std::uint32_t status;
  StatusResponse response;
};

constexpr std::string_view kResolutionText =
    "The resolution of the current server is not supported, please change to 640X480,800X600 or 1024X768.";

constexpr Row refusal(std::uint32_t status, std::string_view key, bool raisesShowing = true) {
  return {status, {static_cast<int>(status), key, {}, raisesShowing}};
}

constexpr std::array kFirstStage = {
    Row{kStatusProceed, {1, {}, {}, true}},
    refusal(102, "ClientLocked"),
    refusal(103, "LoginFailed"),
    refusal(104, "ConnectServerFailed"),
    refusal(105, "ConnectServerFailed"),
    refusal(106, "LoginFailed"),
    refusal(110, "LocalConnectFailed"),
    refusal(kStatusThirdFailure, "ThreeTimeFailed"),
    refusal(112, "OtherUserHasLogin"),
    refusal(113, "UserRestricted"),
    refusal(114, "userLocked"),
    Row{132, {132, {}, kResolutionText, false}},
};

constexpr std::array kSecondStage = {
    Row{kStatusLoggedIn, {1, {}, {}, true}},
    refusal(kStatusThirdFailure, {}),  // the caller shows this one
    refusal(113, "UserRestricted"),
    refusal(114, "userLocked"),
    refusal(115, "ReferenUser"),
    refusal(116, "ServerNoResponse"),
    refusal(117, "AccountDisable"),
    refusal(118, "NextLogonChangePwd"),
    refusal(132, "ScreenTooLarge", false),
};

template <std::size_t N>
StatusResponse look(const std::array<Row, N>& table, std::uint32_t status) {
  const auto row = std::find_if(table.begin(), table.end(), [&](const Row& r) { return r.status == status; });
  if (row != table.end()) return row->response;
  return {kUnexpectedStatus, "LoginFailed", {}, true};
}

}  // namespace

StatusResponse firstStatusResponse(std::uint32_t status) { return look(kFirstStage, status); }
StatusResponse secondStatusResponse(std::uint32_t status) { return look(kSecondStage, status); }

int showResponse(UserMessages& messages, WindowRef owner, const StatusResponse& response) {
  const auto showing = response.raisesShowing ? UserMessages::Showing::Raise : UserMessages::Showing::Leave;
  if (!response.catalogKey.empty()) messages.showCatalogBox(owner, response.catalogKey, showing);
  if (!response.fixedText.empty()) messages.showText(owner, response.fixedText, showing);
  return response.result;
}

}  // namespace vantrel
