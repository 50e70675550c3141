#pragma once
// A viewer session driven by the bytes as they arrive, for a shell that cannot block on a socket
// (the browser page on its WebSocket). The login's two status words and the credential blocks,
// then each whole message handled as the receive thread handles it (same framing, limits,
// dispatch and display) and acknowledged; everything the viewer sends is collected as bytes for
// the shell to write in order. Boxes go to the session's UserMessages as in the other viewers.
// Single-threaded: the shell calls in from one thread.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "catalog/user_messages.h"
#include "clipboard/clipboard_text.h"
#include "input/key_event_sink.h"
#include "protocol/credential_blocks.h"
#include "protocol/message_assembler.h"
#include "screen/display_state.h"
#include "screen/screen_codec.h"
#include "viewer/message_dispatch.h"
#include "viewer/session_ports.h"

namespace vantrel {

class PushSession final : public KeyEventSink {
 public:
  enum class Phase : std::uint8_t {
    LoggingIn,
    Running,
    Refused,      // a status word refused the login; its box has been shown
    ServerEnded,  // the console ended the session, or showed a screen we cannot
    Failed,       // the console broke the protocol: the link is given up
  };

  // Nothing when the decode buffer cannot be had ("CreateMemFailed" shown). The ports outlive
  // the session. Only the scrambled credential blocks are kept.
  static std::unique_ptr<PushSession> create(SurfacePort& surface, ClipboardPort& clipboard, UserMessages& messages,
                                             std::string_view user, std::string_view password);
  PushSession(const PushSession&) = delete;
  PushSession& operator=(const PushSession&) = delete;
  ~PushSession() override;

  // Bytes from the console, in order, in pieces of any size. Ignored once the session is over.
  void receive(std::span<const std::uint8_t> bytes);
  // Where the console's next bytes may be written instead, when they all belong to the payload
  // of a message under way (empty otherwise); received() then takes `count` of them as receive()
  // would have.
  std::span<std::uint8_t> receiveRoom();
  void received(std::size_t count);

  // What the viewer has to send, oldest first; the shell writes it and then clears it.
  const std::vector<std::uint8_t>& outgoing() const { return outgoing_; }
  void clearOutgoing() { outgoing_.clear(); }

  // Input from the user, sent only while the session runs. A pointer event that repeats the
  // last position and buttons is not sent again.
  bool sendKeyEvent(std::uint32_t keysym, bool down) override;
  bool sendSpecialRequest(SpecialRequest request) override;
  bool sendPointer(std::uint16_t x, std::uint16_t y, std::uint8_t buttons);
  // The local clipboard's 8-bit text, under the viewer's rules (clipboardTextToSend).
  bool sendClipboardText(std::string_view text, std::int32_t limit = kMaxClipboardSend);

  Phase phase() const { return phase_; }
  // The status word the login read last, as it came.
  std::optional<std::uint32_t> lastStatus() const { return lastStatus_; }
  const DisplayState& display() const { return *display_; }

 private:
  class Host;
  PushSession(SurfacePort& surface, ClipboardPort& clipboard, UserMessages& messages, CredentialBlocks credentials,
              std::unique_ptr<std::uint8_t[]> decodeBuffer);
  std::span<const std::uint8_t> logIn(std::span<const std::uint8_t> bytes);
  void answerStatus(std::uint32_t status);
  void handleMessages(std::span<const std::uint8_t> bytes);
  bool send(const ConsoleMessage& message);

  ClipboardPort& clipboard_;
  UserMessages& messages_;
  CredentialBlocks credentials_;
  std::unique_ptr<std::uint8_t[]> decodeBuffer_;
  ScreenCodec codec_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<DisplayState> display_;
  MessageAssembler assembler_;

  Phase phase_ = Phase::LoggingIn;
  bool credentialsSent_ = false;
  std::array<std::uint8_t, 4> status_{};
  std::size_t statusHave_ = 0;
  std::optional<std::uint32_t> lastStatus_;
  struct Pointer {
    std::uint16_t x, y;
    std::uint8_t buttons;
    friend bool operator==(const Pointer&, const Pointer&) = default;
  };
  std::optional<Pointer> lastPointer_;
  std::vector<std::uint8_t> outgoing_;
};

}  // namespace vantrel
