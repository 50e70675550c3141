#pragma once
// The four key combinations the local system would act on before the viewer sees them, sent
// on request of the host (ClientSendKeyEvent) or of the toolbar's first four buttons.

#include <cstdint>

#include "input/key_event_sink.h"
#include "input/viewer_window_port.h"

namespace vantrel {

enum class SpecialSequence : std::uint32_t { AltTab = 0, CtrlSpace = 1, AltF4 = 2, CtrlAltDel = 3 };

// Sends sequence `code` through `session` regardless of whether input forwarding is paused,
// then gives the viewer the focus. False, with the focus left alone, for an unknown code, for
// no session, and when the single request of Alt+Tab or Ctrl+Alt+Del could not be sent; the
// key events of Ctrl+Space and Alt+F4 are sent without looking at their results.
bool sendSpecialSequence(std::uint32_t code, KeyEventSink* session, ViewerWindowPort& viewer);

}  // namespace vantrel
