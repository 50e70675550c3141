#include "input/special_keys.h"

#include "input/keysyms.h"

namespace vantrel {
namespace {

// Modifier press, key press, key release, modifier release. Every event is sent even after a
// failure, so that a link that recovers is not left holding the modifier.
bool sendChord(KeyEventSink& session, std::uint32_t modifier, std::uint32_t key) {
  const bool modifierDown = session.sendKeyEvent(modifier, true);
  const bool keyDown = session.sendKeyEvent(key, true);
  const bool keyUp = session.sendKeyEvent(key, false);
  const bool modifierUp = session.sendKeyEvent(modifier, false);
  return modifierDown && keyDown && keyUp && modifierUp;
}

bool sendSequence(SpecialSequence sequence, KeyEventSink& session) {
  switch (sequence) {
    case SpecialSequence::AltTab: return session.sendSpecialRequest(SpecialRequest::AltTab);
    case SpecialSequence::CtrlSpace: return sendChord(session, keysym::kControlL, keysym::kSpace);
    case SpecialSequence::AltF4: return sendChord(session, keysym::kAltL, keysym::kF4);
    case SpecialSequence::CtrlAltDel: return session.sendSpecialRequest(SpecialRequest::CtrlAltDel);
  }
  return false;
}

}  // namespace

bool sendSpecialSequence(std::uint32_t code, KeyEventSink* session, ViewerWindowPort& viewer) {
  if (code > static_cast<std::uint32_t>(SpecialSequence::CtrlAltDel) || session == nullptr) return false;
  if (!sendSequence(static_cast<SpecialSequence>(code), *session)) return false;
  viewer.takeFocus();
  return true;
}

}  // namespace vantrel
