// SDL's key and text events as the key events the console gets.
#include "viewer/sdl/key_translator.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace vantrel::cli {
namespace {

constexpr std::uint32_t kShiftL = 0xFFE1, kShiftR = 0xFFE2, kControlL = 0xFFE3, kControlR = 0xFFE4;
constexpr std::uint32_t kAltL = 0xFFE9, kAltR = 0xFFEA;

struct Down {
  SDL_Scancode scancode;
  SDL_Keycode key;
  std::uint16_t modifiers = KMOD_NONE;
};
struct Up {
  SDL_Scancode scancode;
};
struct Text {
  std::string utf8;
};
struct FocusLost {};
using Step = std::variant<Down, Up, Text, FocusLost>;

std::vector<KeyEvent> play(const std::vector<Step>& steps) {
  KeyTranslator keys;
  std::vector<KeyEvent> out;
  for (const Step& s : steps) {
    std::vector<KeyEvent> events;
    if (const auto* d = std::get_if<Down>(&s)) events = keys.keyDown(d->scancode, d->key, d->modifiers);
    if (const auto* u = std::get_if<Up>(&s)) events = keys.keyUp(u->scancode);
    if (const auto* t = std::get_if<Text>(&s)) events = keys.text(t->utf8);
    if (std::holds_alternative<FocusLost>(s)) events = keys.releaseAll();
    out.insert(out.end(), events.begin(), events.end());
  }
  return out;
}

constexpr KeyEvent press(std::uint32_t k) { return {k, true}; }
constexpr KeyEvent release(std::uint32_t k) { return {k, false}; }

TEST(KeyTranslator, SendsWhatTheDesktopTyped) {
  struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<KeyEvent> sent;
  };
  const auto A = SDL_SCANCODE_A, Q = SDL_SCANCODE_Q, E = SDL_SCANCODE_E;
  const Case cases[] = {
      {"Shift let go before the letter: the release is the press's A",
       {Down{SDL_SCANCODE_LSHIFT, SDLK_LSHIFT}, Down{A, SDLK_a, KMOD_LSHIFT}, Text{"A"}, Up{SDL_SCANCODE_LSHIFT},
        Up{A}},
       {press(kShiftL), press('A'), release(kShiftL), release('A')}},
      {"right-hand modifiers keep their side",
       {Down{SDL_SCANCODE_RSHIFT, SDLK_RSHIFT}, Down{SDL_SCANCODE_RCTRL, SDLK_RCTRL},
        Down{SDL_SCANCODE_RALT, SDLK_RALT}, Down{SDL_SCANCODE_LALT, SDLK_LALT}},
       {press(kShiftR), press(kControlR), press(kAltR), press(kAltL)}},
      {"AltGr with the left Ctrl held: both lifted around the character",
       {Down{SDL_SCANCODE_LCTRL, SDLK_LCTRL}, Down{SDL_SCANCODE_RALT, SDLK_RALT}, Down{Q, SDLK_q}, Text{"@"}},
       {press(kControlL), press(kAltR), release(kControlL), release(kAltR), press('@'), press(kAltR),
        release(kControlL)}},
      {"a dead key types nothing; the composed letter goes as Latin-1 and its release matches",
       {Down{SDL_SCANCODE_EQUALS, SDLK_UNKNOWN}, Up{SDL_SCANCODE_EQUALS}, Down{E, SDLK_e}, Text{"é"}, Up{E}},
       {press(0xE9), release(0xE9)}},
      {"Ctrl+letter types no text: the key's letter, upper case with Shift",
       {Down{SDL_SCANCODE_LCTRL, SDLK_LCTRL}, Down{A, SDLK_a, KMOD_LCTRL | KMOD_LSHIFT}, Up{A}},
       {press(kControlL), press('A'), release('A')}},
      {"the keypad: Num Lock decides, its own text is not typed again",
       {Down{SDL_SCANCODE_KP_7, SDLK_KP_7, KMOD_NUM}, Text{"7"}, Up{SDL_SCANCODE_KP_7},
        Down{SDL_SCANCODE_KP_7, SDLK_KP_7}, Up{SDL_SCANCODE_KP_7}, Down{SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER}},
       {press(0xFFB7), release(0xFFB7), press(0xFF50), release(0xFF50), press(0xFF0D)}},
      {"function keys and a repeat",
       {Down{SDL_SCANCODE_F1, SDLK_F1}, Down{SDL_SCANCODE_F1, SDLK_F1}, Up{SDL_SCANCODE_F1},
        Down{SDL_SCANCODE_F24, SDLK_F24}},
       {press(0xFFBE), press(0xFFBE), release(0xFFBE), press(0xFFD5)}},
      {"text an input method commits on its own; what Latin-1 lacks is left out, the euro is kept",
       {Text{"ß€ł"}},
       {press(0xDF), release(0xDF), press(0x20AC), release(0x20AC)}},
      {"the logo key sends nothing", {Down{SDL_SCANCODE_LGUI, SDLK_LGUI}, Up{SDL_SCANCODE_LGUI}}, {}},
      {"focus lost: held keys let go, then the six modifiers",
       {Down{SDL_SCANCODE_LCTRL, SDLK_LCTRL}, Down{SDL_SCANCODE_X, SDLK_x, KMOD_LCTRL}, FocusLost{},
        Up{SDL_SCANCODE_X}},
       {press(kControlL), press('x'), release('x'), release(kAltL), release(kControlL), release(kShiftL),
        release(kAltR), release(kControlR), release(kShiftR)}},
  };
  for (const Case& c : cases) EXPECT_EQ(play(c.steps), c.sent) << c.what;
}

// Text the console cannot take is noted, so that the viewer can say so; the euro has its keysym.
TEST(KeyTranslator, NotesTextItCannotSend) {
  KeyTranslator keys;
  keys.text("ß€");
  EXPECT_FALSE(keys.takeUnsentText());
  keys.text("ł");
  EXPECT_TRUE(keys.takeUnsentText());
  EXPECT_FALSE(keys.takeUnsentText()) << "noted once for each time it happened";
}

}  // namespace
}  // namespace vantrel::cli
