// The page's own decisions, without a browser: keys to keysyms, the letterbox and the pointer's
// way back through it, and when a dropped link is tried again.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { KeyTranslator, characterKeysym } from '../../tools/vantrel/web/page/keys.js';
import { Backoff, buttonMask, fitView, remotePoint } from '../../tools/vantrel/web/page/view.js';

const SHIFT_L = 0xFFE1, CONTROL_L = 0xFFE3, CONTROL_R = 0xFFE4, ALT_L = 0xFFE9, ALT_R = 0xFFEA;
const down = (code, key, more = {}) => ['down', { code, key, ...more }];
const up = (code) => ['up', { code }];
const blur = ['blur'];

function play(steps) {
  const keys = new KeyTranslator();
  const out = [];
  for (const [what, event] of steps) {
    if (what === 'down') out.push(...keys.keyDown(event));
    if (what === 'up') out.push(...keys.keyUp(event));
    if (what === 'blur') out.push(...keys.releaseAll());
  }
  return out;
}
const press = (k) => [k, true];
const release = (k) => [k, false];

test('keys go out as the other viewers send them', () => {
  const cases = [
    ['Shift let go before the letter: the release is the press\'s A',
      [down('ShiftLeft', 'Shift'), down('KeyA', 'A'), up('ShiftLeft'), up('KeyA')],
      [press(SHIFT_L), press(0x41), release(SHIFT_L), release(0x41)]],
    ['right-hand modifiers keep their side',
      [down('ControlRight', 'Control'), down('AltRight', 'Alt')], [press(CONTROL_R), press(ALT_R)]],
    ['AltGr (as Windows reports it: left Ctrl, then AltGraph): both lifted around the character',
      [down('ControlLeft', 'Control'), down('AltRight', 'AltGraph'), down('KeyQ', '@'), up('KeyQ')],
      [press(CONTROL_L), press(ALT_R), release(CONTROL_L), release(ALT_R), press(0x40), press(ALT_R),
        release(CONTROL_L), release(CONTROL_L), release(ALT_R), release(0x40), press(ALT_R), release(CONTROL_L)]],
    ['a dead key types nothing; the composed letter goes as Latin-1 and its release matches',
      [down('Equal', 'Dead'), up('Equal'), down('KeyE', 'é'), up('KeyE')], [press(0xE9), release(0xE9)]],
    ['Ctrl+letter: the letter as the browser names it',
      [down('ControlLeft', 'Control'), down('KeyC', 'c', { ctrlKey: true }), up('KeyC'), up('ControlLeft')],
      [press(CONTROL_L), press(0x63), release(0x63), release(CONTROL_L)]],
    ['the keypad: Num Lock decides, operators and Enter by their own code',
      [down('Numpad7', '7'), up('Numpad7'), down('Numpad7', 'Home'), down('NumpadEnter', 'Enter'),
        down('NumpadAdd', '+')],
      [press(0xFFB7), release(0xFFB7), press(0xFF50), press(0xFF0D), press(0xFFAB)]],
    ['function keys, a repeat, the navigation keys',
      [down('F1', 'F1'), down('F1', 'F1'), up('F1'), down('F24', 'F24'), down('ArrowLeft', 'ArrowLeft'),
        down('Delete', 'Delete')],
      [press(0xFFBE), press(0xFFBE), release(0xFFBE), press(0xFFD5), press(0xFF51), press(0xFFFF)]],
    ['what Latin-1 lacks is left out, the euro is kept; the logo key sends nothing',
      [down('KeyL', 'ł'), down('KeyE', '€'), down('MetaLeft', 'Meta'), up('MetaLeft')], [press(0x20AC)]],
    ['focus lost: held keys let go, then the six modifiers',
      [down('ControlLeft', 'Control'), down('KeyX', 'x'), blur, up('KeyX')],
      [press(CONTROL_L), press(0x78), release(0x78), release(ALT_L), release(CONTROL_L), release(SHIFT_L),
        release(ALT_R), release(CONTROL_R), release(0xFFE2)]],
  ];
  for (const [what, steps, sent] of cases) assert.deepEqual(play(steps), sent, what);
  assert.equal(characterKeysym('ab'), null);
  assert.equal(characterKeysym('\u00A0'), 0xA0);
});

test('the picture is letterboxed, and the pointer finds the remote pixel through the bars', () => {
  const remote = { width: 1024, height: 768 };
  const target = fitView(remote, { width: 1280, height: 768 });
  assert.deepEqual(target, { x: 128, y: 0, width: 1024, height: 768 });
  assert.deepEqual(fitView(remote, { width: 512, height: 600 }), { x: 0, y: 108, width: 512, height: 384 });
  const half = fitView(remote, { width: 512, height: 384 });
  const cases = [
    [{ x: 128, y: 0 }, target, { x: 0, y: 0 }],
    [{ x: 128 + 1023, y: 767 }, target, { x: 1023, y: 767 }],
    [{ x: 0, y: 900 }, target, { x: 0, y: 767 }],            // on the bars: the nearest edge
    [{ x: 511.9, y: 383.9 }, half, { x: 1023, y: 767 }],     // scaled: the last remote pixel
    [{ x: 100, y: 50 }, half, { x: 200, y: 100 }],
  ];
  for (const [at, t, expected] of cases) assert.deepEqual(remotePoint(remote, t, at), expected);
  assert.deepEqual([buttonMask(1), buttonMask(2), buttonMask(3), buttonMask(4)], [1, 4, 5, 0]);
});

test('a dropped link is tried again sooner, then later, and not after the limit', () => {
  const backoff = new Backoff(5000, 0);
  const attempts = [];
  for (let now = 0, at = backoff.next(now); at !== null; now = at, at = backoff.next(now)) attempts.push(at);
  assert.deepEqual(attempts, [250, 750, 1750, 3750, 5000]);
  assert.equal(new Backoff(0, 0).next(0), null);
});
