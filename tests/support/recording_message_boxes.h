#pragma once
// Message boxes for tests: each box is recorded with its owner, text, caption, style and the
// value of the "box showing" flag while it was up, and returns at once.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "catalog/message_box.h"
#include "catalog/message_catalog.h"
#include "catalog/user_messages.h"

namespace vantrel::testing {

struct RecordedBox {
  WindowRef owner;
  std::string text;
  std::string caption;
  unsigned style;
  std::uint8_t showingWhileUp;
};

class RecordingMessageBoxes final : public MessageBoxPort {
 public:
  explicit RecordingMessageBoxes(const std::atomic<std::uint8_t>* showing = nullptr) : showing_(showing) {}

  void show(WindowRef owner, const std::string& text, const std::string& caption, unsigned style) override;
  std::vector<RecordedBox> boxes() const;
  void clear();

 private:
  const std::atomic<std::uint8_t>* showing_;
  mutable std::mutex mutex_;  // boxes may come from the window thread and the receive thread
  std::vector<RecordedBox> boxes_;
};

// User messages for tests: boxes are recorded, and the catalogue's every text is the key it was
// looked up by, language suffix included ("LoginFailed_en"), so that a recorded box names its key.
struct RecordedMessages {
  RecordedMessages();
  RecordedMessages(const RecordedMessages&) = delete;
  RecordedMessages& operator=(const RecordedMessages&) = delete;

  MessageCatalog catalog;
  UserMessages messages;
  RecordingMessageBoxes boxes{&messages.msgBoxShowing};
};

}  // namespace vantrel::testing
