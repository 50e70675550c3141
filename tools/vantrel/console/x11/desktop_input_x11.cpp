#include "console/x11/desktop_input_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "console/x11/keyboard_plan.h"
#include "console/x11/x_display.h"

namespace vantrel::cli {
namespace {

constexpr std::uint32_t kReleaseEverything = 0xFFFFFFFF;

// Keys that set a modifier only while held; locks and latches change state for later keys and
// are never pressed to reach a level.
bool setsWhileHeld(KeySym keysym) {
  return (keysym >= XK_Shift_L && keysym <= XK_Shift_R) || (keysym >= XK_Control_L && keysym <= XK_Control_R) ||
         (keysym >= XK_Meta_L && keysym <= XK_Hyper_R) || keysym == XK_ISO_Level3_Shift ||
         keysym == XK_ISO_Level5_Shift || keysym == XK_Mode_switch;
}

}  // namespace

struct X11Input::Impl {
  DisplayHandle display;
  int xkbEvents = 0;
  bool layoutStale = true;
  int layoutGroup = -1;
  KeyboardLayout layout;
  std::vector<std::uint8_t> spares;        // keycodes with no symbols when the session began
  std::map<std::uint8_t, KeySym> bound;    // spares this instance gave a keysym
  std::size_t nextSpare = 0;
  std::map<std::uint32_t, std::uint8_t> pressed;  // keysym -> the keycode pressed for it
  std::uint8_t buttons = 0;
  std::optional<ScreenPoint> at;

  Display* d() const { return display.get(); }

  XkbStateRec xkbState() const {
    XkbStateRec state{};
    XkbGetState(d(), XkbUseCoreKbd, &state);
    return state;
  }

  void drainEvents() {
    while (XPending(d()) > 0) {
      XEvent e;
      XNextEvent(d(), &e);
      if (e.type == xkbEvents || e.type == MappingNotify) layoutStale = true;
    }
  }

  void loadLayout(int group) {
    XkbDescPtr xkb = XkbGetMap(d(), XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
    if (xkb == nullptr) return;
    layout = {};
    const bool firstLoad = layoutGroup < 0;
    for (int kc = xkb->min_key_code; kc <= xkb->max_key_code; ++kc) {
      const auto code = static_cast<std::uint8_t>(kc);
      const int groups = XkbKeyNumGroups(xkb, kc);
      if (groups == 0) {
        if (firstLoad) spares.push_back(code);
        continue;
      }
      const int g = group < groups ? group : 0;
      const XkbKeyTypePtr type = XkbKeyKeyType(xkb, kc, g);
      LayoutKey key;
      key.keycode = code;
      key.levelModifiers = type->mods.mask;
      for (int e = 0; e < type->map_count; ++e) {
        const XkbKTMapEntryRec& entry = type->map[e];
        if (entry.active) key.levels.push_back({entry.mods.mask, entry.level});
      }
      for (int level = 0; level < XkbKeyGroupWidth(xkb, kc, g); ++level) {
        key.keysyms.push_back(static_cast<std::uint32_t>(XkbKeySymEntry(xkb, kc, level, g)));
      }
      const unsigned char modifiers = xkb->map->modmap[kc];
      if (modifiers != 0 && !key.keysyms.empty() && setsWhileHeld(key.keysyms[0])) {
        for (unsigned m = 0; m < 8; ++m) {
          if ((static_cast<unsigned>(modifiers) >> m) & 1U) layout.modifierKeys[m].push_back(code);
        }
      }
      layout.keys.push_back(std::move(key));
    }
    XkbFreeKeyboard(xkb, 0, True);
    layoutGroup = group;
    layoutStale = false;
  }

  KeyboardState keyboardState(const XkbStateRec& xkb) const {
    KeyboardState state;
    state.modifiers = xkb.mods;
    state.lockedModifiers = xkb.locked_mods;
    char keys[32] = {};
    XQueryKeymap(d(), keys);
    for (int i = 0; i < 256; ++i) {
      if ((static_cast<unsigned>(static_cast<unsigned char>(keys[i / 8])) >> (i % 8)) & 1U) state.down.set(static_cast<std::size_t>(i));
    }
    return state;
  }

  std::optional<KeyPlan> plan(std::uint32_t keysym) {
    drainEvents();
    const XkbStateRec xkb = xkbState();
    if (layoutStale || layoutGroup != xkb.group) loadLayout(xkb.group);
    return planKeyPress(layout, keysym, keyboardState(xkb));
  }

  // Binds the keysym to the next spare keycode that is not held down.
  bool bindSpare(std::uint32_t keysym) {
    for (std::size_t tries = 0; tries < spares.size(); ++tries) {
      const std::uint8_t code = spares[nextSpare++ % spares.size()];
      const bool held = std::any_of(pressed.begin(), pressed.end(), [&](const auto& p) { return p.second == code; });
      if (held) continue;
      KeySym sym = keysym;
      XChangeKeyboardMapping(d(), code, 1, &sym, 1);
      XSync(d(), False);
      bound[code] = sym;
      layoutStale = true;
      return true;
    }
    return false;
  }

  void press(std::uint8_t keycode, bool down) { XTestFakeKeyEvent(d(), keycode, down ? True : False, CurrentTime); }

  void release(std::uint32_t keysym) {
    auto it = pressed.find(keysym);
    if (it == pressed.end()) {
      // The viewer releases a letter in the case it pressed it, but take the other case too.
      KeySym lower = 0, upper = 0;
      XConvertCase(keysym, &lower, &upper);
      it = pressed.find(static_cast<std::uint32_t>(keysym == lower ? upper : lower));
    }
    if (it == pressed.end()) return;  // never pressed here: a modifier the viewer lifts for safety
    const std::uint8_t code = it->second;
    pressed.erase(it);
    if (std::none_of(pressed.begin(), pressed.end(), [&](const auto& p) { return p.second == code; })) press(code, false);
  }

  void releaseKeys() {
    std::vector<std::uint8_t> codes;
    for (const auto& [sym, code] : pressed) codes.push_back(code);
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    for (const std::uint8_t code : codes) press(code, false);
    pressed.clear();
  }
};

std::unique_ptr<X11Input> X11Input::open(const std::string& name, std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->display = openDisplay(name, error);
  if (!impl->display) return nullptr;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(impl->d(), &eventBase, &errorBase, &major, &minor)) {
    error = "the X server lacks the XTEST extension, which typing and pointing need (see --view-only)";
    return nullptr;
  }
  int opcode = 0, xkbErrors = 0;
  major = XkbMajorVersion, minor = XkbMinorVersion;
  if (!XkbQueryExtension(impl->d(), &opcode, &impl->xkbEvents, &xkbErrors, &major, &minor)) {
    error = "the X server lacks the XKEYBOARD extension, which typing needs (see --view-only)";
    return nullptr;
  }
  XkbSelectEvents(impl->d(), XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                  XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
  // Keep typing while another client grabs the server.
  XTestGrabControl(impl->d(), True);
  impl->loadLayout(impl->xkbState().group);
  return std::unique_ptr<X11Input>(new X11Input(std::move(impl)));
}

X11Input::X11Input(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Input::~X11Input() { releaseAll(); }

void X11Input::key(std::uint32_t keysym, bool down) {
  Impl& s = *impl_;
  if (keysym == kReleaseEverything) {
    s.releaseKeys();
  } else if (!down) {
    s.release(keysym);
  } else {
    auto plan = s.plan(keysym);
    if (!plan && s.bindSpare(keysym)) plan = s.plan(keysym);
    if (!plan) return;  // no key gives it and no spare keycode is left
    for (const KeyStroke& k : plan->before) s.press(k.keycode, k.down);
    s.press(plan->keycode, true);
    for (const KeyStroke& k : plan->after) s.press(k.keycode, k.down);
    s.pressed[keysym] = plan->keycode;
  }
  XFlush(s.d());
}

void X11Input::pointer(ScreenPoint desktop, std::uint8_t buttons) {
  Impl& s = *impl_;
  if (!s.at || !(*s.at == desktop)) {
    XTestFakeMotionEvent(s.d(), DefaultScreen(s.d()), desktop.x, desktop.y, CurrentTime);
    s.at = desktop;
  }
  for (unsigned bit = 0; bit < 3; ++bit) {
    const bool down = (static_cast<unsigned>(buttons) >> bit) & 1U, was = (static_cast<unsigned>(s.buttons) >> bit) & 1U;
    if (down != was) XTestFakeButtonEvent(s.d(), bit + 1, down ? True : False, CurrentTime);
  }
  s.buttons = buttons & 7U;
  XFlush(s.d());
}

void X11Input::releaseAll() {
  Impl& s = *impl_;
  if (!s.display || displayLost()) return;  // a desktop that has gone holds nothing down
  s.releaseKeys();
  for (unsigned bit = 0; bit < 3; ++bit) {
    if ((static_cast<unsigned>(s.buttons) >> bit) & 1U) XTestFakeButtonEvent(s.d(), bit + 1, False, CurrentTime);
  }
  s.buttons = 0;
  s.at.reset();
  for (const auto& [code, sym] : s.bound) {
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(s.d(), code, 1, &none, 1);
  }
  s.bound.clear();
  s.layoutStale = true;
  XSync(s.d(), False);
}

}  // namespace vantrel::cli
