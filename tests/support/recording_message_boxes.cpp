#include "support/recording_message_boxes.h"

namespace vantrel::testing {

void RecordingMessageBoxes::show(WindowRef owner, const std::string& text, const std::string& caption,
                                 unsigned style) {
  const std::lock_guard lock(mutex_);
  boxes_.push_back({owner, text, caption, style, showing_ ? showing_->load() : std::uint8_t{0}});
}

std::vector<RecordedBox> RecordingMessageBoxes::boxes() const {
  const std::lock_guard lock(mutex_);
  return boxes_;
}

void RecordingMessageBoxes::clear() {
  const std::lock_guard lock(mutex_);
  boxes_.clear();
}

RecordedMessages::RecordedMessages()
    : catalog("catalog", [](std::string_view, std::string_view key, std::string_view, const std::string&) {
        return std::string(key);
      }) {
  messages.boxes = &boxes;
  messages.catalog = &catalog;
}

}  // namespace vantrel::testing
