// The page's shell around the viewer's core: the login form, the WebSocket to the gateway, the
// canvas (only the changed rectangles drawn), keys, pointer, clipboard, the key menu, full
// screen, and reconnection with the last picture dimmed. The core decides; this only carries.
import { ViewerCore } from './core.js';
import { KeyTranslator } from './keys.js';
import { Backoff, buttonMask, fitView, remotePoint } from './view.js';

const $ = (id) => document.getElementById(id);
const canvas = $('canvas');
const context = canvas.getContext('2d');
const RECONNECT_LIMIT = 30000;
// The key event the other viewers send as their window goes: the console lets go of everything.
const RELEASE_ALL_KEYS = 0xFFFFFFFF;
// The gateway's word that it does not trust the console's key: trying again cannot help.
const UNTRUSTED_CONSOLE = 4003;
// The WebSocket subprotocol of the gateway's packed messages.
const PACKED = 'vantrel.lz4';

let texts = {};
let core = null;
let socket = null;
let login = null;          // { console, user, password } while a session is wanted
let noticesSeen = 0, clipboardSeen = 0;
let clipboardText = null;  // the text last sent or received: the local clipboard holding it is no change
let keys = new KeyTranslator();
let target = { x: 0, y: 0, width: 0, height: 0 };
let image = null;          // ImageData over the module's picture
let backoff = null;
// What the sessions cost this page so far, for scripts/measure-web: updates drawn, and the time
// spent unpacking the gateway's messages, in the core (framing, decoding, drawing the picture)
// and in putImageData, and the pixels put.
window.vantrelStats = { updates: 0, unpackMs: 0, coreMs: 0, drawMs: 0, pixels: 0 };

function say(text) { $('status').textContent = text; }
function refuse(text) {
  $('notice').textContent = text;
  $('session').hidden = true;
  $('login').hidden = false;
}
// A box's text: a catalogue key in the English the gateway serves, or a fixed text as it is.
function words(notice) {
  if (!notice.startsWith('\x1f')) return notice;
  const key = notice.slice(1).replace(/_(en|jp|tw)$/, '');
  return texts[key] ?? key;
}

function layout() {
  const area = $('screen').getBoundingClientRect();
  target = fitView({ width: canvas.width, height: canvas.height }, area);
  Object.assign(canvas.style, { left: `${target.x}px`, top: `${target.y}px`, width: `${target.width}px`,
    height: `${target.height}px` });
}

// After every call into the core: send what it has to send, draw what changed, show what it says.
function flush() {
  const outgoing = core.outgoing();
  if (outgoing.length > 0 && socket?.readyState === WebSocket.OPEN) socket.send(outgoing);
  const s = core.state();
  // A session that has no screen yet leaves the last picture where it is.
  if (s.width > 0 && (s.width !== canvas.width || s.height !== canvas.height)) {
    canvas.width = s.width;
    canvas.height = s.height;
    image = null;
    layout();
  }
  if (s.changeCount > 0 && s.width > 0) {
    const started = performance.now();
    const pixels = core.pixels(s);
    if (image?.data.buffer !== pixels.buffer || image.data.byteOffset !== pixels.byteOffset) {
      image = new ImageData(pixels, s.width, s.height);
    }
    for (const [x, y, w, h] of s.changeList) {
      context.putImageData(image, 0, 0, x, y, w, h);
      window.vantrelStats.pixels += w * h;
    }
    window.vantrelStats.drawMs += performance.now() - started;
  }
  window.vantrelStats.updates = s.updates;
  core.done();
  if (s.consoleTextCount !== clipboardSeen) {
    clipboardSeen = s.consoleTextCount;
    $('clipboard-text').value = s.consoleClipboard;
    clipboardText = s.consoleClipboard;
    navigator.clipboard?.writeText(s.consoleClipboard).catch(() => {});
  }
  const notice = s.noticeCount !== noticesSeen ? words(s.noticeText) : null;
  noticesSeen = s.noticeCount;
  return { phase: s.phaseName, notice, status: s.status };
}

function connect() {
  const { console: name, user, password } = login;
  noticesSeen = 0;
  core.start(user, password);
  flush();
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  // The gateway packs what it relays when asked (a gateway of before that relays it as it is).
  const ws = new WebSocket(`${scheme}//${location.host}/ws/${encodeURIComponent(name)}`, [PACKED]);
  socket = ws;
  ws.binaryType = 'arraybuffer';
  let running = false;
  ws.onmessage = (event) => {
    const started = performance.now(), unpacking = core.unpackMs;
    const taken = core.receive(new Uint8Array(event.data), ws.protocol === PACKED);
    window.vantrelStats.unpackMs = core.unpackMs;
    window.vantrelStats.coreMs += performance.now() - started - (core.unpackMs - unpacking);
    if (!taken) {
      ws.close();  // a broken link: as when it drops
      return;
    }
    const { phase, notice } = flush();
    if (phase === 'running' && !running) {
      running = true;
      backoff = null;
      $('screen').classList.remove('dimmed');
      $('banner').hidden = true;
      say(`${user} on ${name}`);
      canvas.focus();
    }
    if (phase === 'refused') end(notice ?? 'The console refused the login.');
    if (phase === 'ended') end(notice ?? 'The console ended the session.');
    if (phase === 'failed') ws.close();
  };
  ws.onclose = (event) => {
    if (socket !== ws || !login) return;
    if (event.code === UNTRUSTED_CONSOLE) end(event.reason);
    else lost(running);
  };
}

// The session is over for good: back to the form with the reason.
function end(reason) {
  const s = socket;
  socket = null;
  if (s) { s.onclose = null; s.close(); }
  login = null;
  refuse(reason);
}

// The user leaves: every key up on the console first, as the other viewers do.
function leave() {
  send([...keys.releaseAll(), [RELEASE_ALL_KEYS, false]]);
  end('Disconnected.');
}

// The link dropped: the last picture stays, dimmed, while attempts go on for a while.
function lost(wasRunning) {
  socket = null;
  if (!wasRunning && !backoff) {
    end('No connection to the console.');
    return;
  }
  backoff ??= new Backoff(RECONNECT_LIMIT, Date.now());
  const at = backoff.next(Date.now());
  if (at === null) {
    end('The console could not be reached again.');
    return;
  }
  $('screen').classList.add('dimmed');
  $('banner').hidden = false;
  say('reconnecting');
  setTimeout(() => { if (login) connect(); }, at - Date.now());
}

function send(events) {
  if (!core || events.length === 0) return;
  for (const [keysym, down] of events) core.key(keysym, down);
  flush();
}

function pointer(event) {
  if (!core || canvas.width === 0) return;
  const area = $('screen').getBoundingClientRect();
  const at = remotePoint({ width: canvas.width, height: canvas.height }, target,
    { x: event.clientX - area.left, y: event.clientY - area.top });
  core.pointer(at.x, at.y, buttonMask(event.buttons));
  flush();
}

// Text from the local clipboard; the console's own text coming back is not sent again.
function pasted(text, always = false) {
  if (!always && text === clipboardText) return;
  clipboardText = text;
  if (core?.clipboard(text)) flush();
}

canvas.addEventListener('keydown', (event) => {
  const events = keys.keyDown(event);
  // Ctrl+V is left to the browser, whose paste (below) sends the text first; its keys follow.
  if (event.ctrlKey && !event.altKey && event.key.toLowerCase() === 'v') {
    setTimeout(() => send(events), 0);
    return;
  }
  event.preventDefault();
  send(events);
});
canvas.addEventListener('keyup', (event) => { event.preventDefault(); send(keys.keyUp(event)); });
canvas.addEventListener('blur', () => send(keys.releaseAll()));
canvas.addEventListener('pointermove', pointer);
canvas.addEventListener('pointerdown', (event) => { canvas.focus(); pointer(event); event.preventDefault(); });
canvas.addEventListener('pointerup', pointer);
canvas.addEventListener('contextmenu', (event) => event.preventDefault());
document.addEventListener('paste', (event) => {
  if (event.target.closest?.('#login, #clipboard')) return;
  pasted(event.clipboardData.getData('text/plain'));
  event.preventDefault();
});
canvas.addEventListener('focus', () => {
  navigator.clipboard?.readText?.().then(pasted, () => {});
});
$('clipboard-send').addEventListener('click', () => pasted($('clipboard-text').value, true));
$('clipboard-button').addEventListener('click', () => { $('clipboard').hidden = !$('clipboard').hidden; layout(); });
$('keys-button').addEventListener('click', () => { $('keys').hidden = !$('keys').hidden; });
$('keys').addEventListener('click', (event) => {
  const button = event.target.closest('button');
  if (!button) return;
  $('keys').hidden = true;
  if (button.id === 'disconnect') {
    leave();
    return;
  }
  if (core?.special(Number(button.dataset.special))) flush();
  canvas.focus();
});
$('full-screen').addEventListener('click', () => {
  if (document.fullscreenElement) document.exitFullscreen();
  else $('session').requestFullscreen?.();
});
window.addEventListener('resize', layout);
window.addEventListener('pagehide', () => { if (socket) leave(); });
document.addEventListener('fullscreenchange', layout);

$('login').addEventListener('submit', (event) => {
  event.preventDefault();
  if (!core) return;
  login = { console: $('console').value, user: $('user').value, password: $('password').value };
  $('password').value = '';
  $('notice').textContent = '';
  $('login').hidden = true;
  $('session').hidden = false;
  $('title').textContent = login.console;
  $('banner').hidden = true;
  $('screen').classList.remove('dimmed');
  keys = new KeyTranslator();
  backoff = null;
  say('connecting');
  layout();
  connect();
});

async function main() {
  const [consoles, catalogue] = await Promise.all([fetch('consoles.json'), fetch('texts.json')]);
  texts = await catalogue.json();
  for (const name of await consoles.json()) $('console').add(new Option(name, name));
  core = await ViewerCore.load(await fetch('vantrel.wasm'));
  document.body.dataset.ready = 'true';
}
main().catch((error) => refuse(`The page could not start: ${error.message}`));
