// Browser key events as the key events the console gets, by the rules of the other viewers:
// keys without a character (function, navigation, keypad, modifiers with their side) from a
// table, every other key as the character the browser composed for it (Shift, AltGr levels and
// dead keys already applied) sent as its Latin-1 keysym; a key typed with AltGr goes out with
// the Ctrl and Alt keys lifted around it, as the DLL sends it. A release repeats the keysym its
// press sent, and on blur everything still held goes up, then the six modifiers.
// Pure: it sees only the fields of a KeyboardEvent, so it is tested without a browser.

const SHIFT_L = 0xFFE1, SHIFT_R = 0xFFE2, CONTROL_L = 0xFFE3, CONTROL_R = 0xFFE4, ALT_L = 0xFFE9, ALT_R = 0xFFEA;
const MODIFIERS = [ALT_L, CONTROL_L, SHIFT_L, ALT_R, CONTROL_R, SHIFT_R];

// By KeyboardEvent.code: keys whose side or keypad matters.
const BY_CODE = {
  ShiftLeft: SHIFT_L, ShiftRight: SHIFT_R, ControlLeft: CONTROL_L, ControlRight: CONTROL_R,
  AltLeft: ALT_L, AltRight: ALT_R, NumpadMultiply: 0xFFAA, NumpadAdd: 0xFFAB, NumpadComma: 0xFFAC,
  NumpadSubtract: 0xFFAD, NumpadDivide: 0xFFAF, NumpadEnter: 0xFF0D,
};

// By KeyboardEvent.key: keys that type no character. 0: a key that sends nothing.
const BY_KEY = {
  Backspace: 0xFF08, Tab: 0xFF09, Clear: 0xFF0B, Enter: 0xFF0D, Pause: 0xFF13, CapsLock: 0xFFE5,
  Escape: 0xFF1B, PageUp: 0xFF55, PageDown: 0xFF56, End: 0xFF57, Home: 0xFF50, ArrowLeft: 0xFF51,
  ArrowUp: 0xFF52, ArrowRight: 0xFF53, ArrowDown: 0xFF54, Select: 0xFF60, Execute: 0xFF62,
  PrintScreen: 0xFF61, Insert: 0xFF63, Delete: 0xFFFF, Help: 0xFF6A, NumLock: 0xFF7F, ScrollLock: 0xFF14,
  AltGraph: ALT_R, Shift: SHIFT_L, Control: CONTROL_L, Alt: ALT_L,
  Meta: 0, OS: 0, ContextMenu: 0, Dead: 0, Unidentified: 0, Process: 0,
};

// The keypad's digits and point with Num Lock on; without it the browser names them as the
// navigation keys they are labelled with, and the table above takes them.
const KEYPAD = { '0': 0xFFB0, '1': 0xFFB1, '2': 0xFFB2, '3': 0xFFB3, '4': 0xFFB4, '5': 0xFFB5, '6': 0xFFB6,
  '7': 0xFFB7, '8': 0xFFB8, '9': 0xFFB9, '.': 0xFFAE, ',': 0xFFAE };

// The keysym of one typed character: Latin-1 characters are their own, the euro sign has its
// own; nothing for the rest.
export function characterKeysym(character) {
  const c = character.codePointAt(0);
  if ([...character].length !== 1) return null;
  if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF)) return c;
  if (c === 0x20AC) return 0x20AC;
  return null;
}

function keysymOf(e) {
  if (e.code in BY_CODE) return BY_CODE[e.code];
  if (e.code?.startsWith('Numpad') && e.key in KEYPAD) return KEYPAD[e.key];
  const f = /^F([1-9]|1[0-9]|2[0-4])$/.exec(e.key);
  if (f) return 0xFFBE + Number(f[1]) - 1;
  if (e.key in BY_KEY) return BY_KEY[e.key];
  return characterKeysym(e.key);
}

export class KeyTranslator {
  constructor() { this.held = new Map(); }  // code -> { keysym, thirdLevel }

  holds(keysym) { return [...this.held.values()].some((h) => h.keysym === keysym); }

  // The DLL's AltGr rule: the left Ctrl and Alt and the right Alt let go around the character,
  // then the right Alt pressed again and the left ones released once more.
  thirdLevel(keysym, down) {
    const controlL = this.holds(CONTROL_L), altL = this.holds(ALT_L);
    const out = [];
    if (controlL) out.push([CONTROL_L, false]);
    if (altL) out.push([ALT_L, false]);
    out.push([ALT_R, false], [keysym, down], [ALT_R, true]);
    if (altL) out.push([ALT_L, false]);
    if (controlL) out.push([CONTROL_L, false]);
    return out;
  }

  // [keysym, down] pairs for a keydown; a repeat presses again.
  keyDown(e) {
    const keysym = keysymOf(e);
    if (!keysym) return [];
    const thirdLevel = keysym < 0xFF00 && this.holds(ALT_R);
    this.held.set(e.code, { keysym, thirdLevel });
    return thirdLevel ? this.thirdLevel(keysym, true) : [[keysym, true]];
  }

  keyUp(e) {
    const h = this.held.get(e.code);
    if (!h) return [];
    this.held.delete(e.code);
    return h.thirdLevel && this.holds(ALT_R) ? this.thirdLevel(h.keysym, false) : [[h.keysym, false]];
  }

  // Focus lost: the keys still held go up, then the six modifiers whatever was held.
  releaseAll() {
    const out = [...this.held.values()].filter((h) => !MODIFIERS.includes(h.keysym)).map((h) => [h.keysym, false]);
    this.held.clear();
    return out.concat(MODIFIERS.map((k) => [k, false]));
  }
}
