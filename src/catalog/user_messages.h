#pragma once
// Everything a user-facing box needs, in one place: the box port, the catalogue and the
// language to read it in, the usual owner, the caption, and the flag that the host polls
// while one of our boxes is up.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/message_box.h"
#include "catalog/message_catalog.h"

namespace vantrel {

struct UserMessages {
  enum class Showing { Raise, Leave };  // Leave: the box does not touch msgBoxShowing

  MessageBoxPort* boxes = &systemMessageBoxes();
  const MessageCatalog* catalog = nullptr;  // none: catalogue boxes read "No Text", as for a missing file
  std::uint32_t language = 0;
  WindowRef ownerWindow = nullptr;
  std::string caption = "Vantrel";
  std::atomic<std::uint8_t> msgBoxShowing{0};

  // An error box with the catalogue text of `key` (section MESSAGEBOX, in `language`).
  void showCatalogBox(WindowRef owner, std::string_view key, Showing showing = Showing::Raise);
  // An error box with a fixed text.
  void showText(WindowRef owner, std::string_view text, Showing showing = Showing::Raise);
};

}  // namespace vantrel
