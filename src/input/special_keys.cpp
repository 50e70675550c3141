#include "input/special_keys.h"

#include "input/keysyms.h"

namespace vantrel {
namespace {

// Modifier press, key press, key release, modifier release, each sent whatever became of the
// one before. A send that fails has marked the link dead, which the host learns from
// ClientIsRunning; the chord itself reports no result.
void sendChord(KeyEventSink& session, std::uint32_t modifier, std::uint32_t key) {
  session.sendKeyEvent(modifier, true);
  session.sendKeyEvent(key, true);
  session.sendKeyEvent(key, false);
  session.sendKeyEvent(modifier, false);
}

// False only when a request, the sequence's one message, could not be sent.
bool sendSequence(SpecialSequence sequence, KeyEventSink& session) {
  switch (sequence) {
    case SpecialSequence::AltTab: return session.sendSpecialRequest(SpecialRequest::AltTab);
    case SpecialSequence::CtrlSpace: sendChord(session, keysym::kControlL, keysym::kSpace); return true;
    case SpecialSequence::AltF4: sendChord(session, keysym::kAltL, keysym::kF4); return true;
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
