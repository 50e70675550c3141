// The viewer's core (vantrel.wasm, the project's C++ compiled for the browser) as the page uses
// it: the protocol, the cipher, the codec and the display all happen in there. Every call that
// may allocate may grow the module's memory, so views of it are made afresh after each call.

const PHASES = ['logging in', 'running', 'refused', 'ended', 'failed'];

// State record fields, 32 bits each, in the order web/module.cpp lays them out.
const FIELDS = ['phase', 'width', 'height', 'frame', 'changeCount', 'changes', 'outgoing', 'outgoingLength',
  'notice', 'noticeCount', 'consoleText', 'consoleTextLength', 'consoleTextCount', 'status', 'updates'];

// Text as the console's 8-bit clipboard has it: characters Latin-1 lacks become '?'.
export function toLatin1(text) {
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) {
    const c = text.charCodeAt(i);
    bytes[i] = c <= 0xFF ? c : 0x3F;
  }
  return bytes;
}

export function fromLatin1(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return text;
}

export class ViewerCore {
  static async load(source) {
    const imports = {
      env: { emscripten_notify_memory_growth: () => {} },
      wasi_snapshot_preview1: { proc_exit: (code) => { throw new Error(`viewer core stopped (${code})`); } },
    };
    const { instance } = source instanceof Response
      ? await WebAssembly.instantiateStreaming(source, imports)
      : await WebAssembly.instantiate(source, imports);
    instance.exports._initialize();
    return new ViewerCore(instance.exports);
  }

  constructor(exports) {
    this.vt = exports;
    this.stateAddress = exports.vt_state();
    this.unpackMs = 0;
  }

  bytes(address, length) { return new Uint8Array(this.vt.memory.buffer, address, length); }

  // Puts bytes into the module's scratch buffer for the call that follows.
  put(parts) {
    const length = parts.reduce((n, p) => n + p.length, 0);
    const at = this.vt.vt_scratch(length);
    let offset = 0;
    for (const p of parts) {
      this.bytes(at + offset, p.length).set(p);
      offset += p.length;
    }
    return length;
  }

  start(user, password) {
    const encoder = new TextEncoder();
    const u = encoder.encode(user), p = encoder.encode(password);
    this.put([u, p]);
    return this.vt.vt_start(u.length, p.length) !== 0;
  }

  // The console's bytes, or one packed message of the gateway's; false when that does not unpack.
  // The time spent unpacking adds up in unpackMs.
  receive(bytes, packed) {
    const length = this.put([bytes]);
    if (packed) {
      const started = performance.now();
      const unpacked = this.vt.vt_unpack(length) !== 0;
      this.unpackMs += performance.now() - started;
      if (!unpacked) return false;
    }
    this.vt.vt_receive(length, packed ? 1 : 0);
    return true;
  }
  key(keysym, down) { this.vt.vt_key(keysym >>> 0, down ? 1 : 0); }
  pointer(x, y, buttons) { this.vt.vt_pointer(x, y, buttons); }
  special(code) { return this.vt.vt_special(code) !== 0; }
  clipboard(text) { return this.vt.vt_clipboard(this.put([toLatin1(text)])) !== 0; }
  // The outgoing bytes were sent and the changes drawn.
  done() { this.vt.vt_sent(); }

  // The bytes the core has to send, as a copy.
  outgoing() {
    const words = this.words();
    return this.bytes(words[FIELDS.indexOf('outgoing')], words[FIELDS.indexOf('outgoingLength')]).slice();
  }

  words() { return new Uint32Array(this.vt.memory.buffer, this.stateAddress, FIELDS.length); }

  state() {
    const words = this.words();
    const s = Object.fromEntries(FIELDS.map((name, i) => [name, words[i]]));
    s.phaseName = PHASES[s.phase] ?? 'none';
    s.changeList = Array.from({ length: s.changeCount }, (_, i) =>
      Array.from(new Int32Array(this.vt.memory.buffer, s.changes + 16 * i, 4)));
    const end = new Uint8Array(this.vt.memory.buffer, s.notice).indexOf(0);
    s.noticeText = fromLatin1(this.bytes(s.notice, end));
    s.consoleClipboard = fromLatin1(this.bytes(s.consoleText, s.consoleTextLength));
    return s;
  }

  // The picture as pixels for putImageData (the core's window, in RGBA); valid until the next call.
  pixels(s) {
    return new Uint8ClampedArray(this.vt.memory.buffer, s.frame, s.width * s.height * 4);
  }
}
