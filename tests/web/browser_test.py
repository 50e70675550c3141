#!/usr/bin/python3
"""The browser viewer for real: headless Chromium (driven through chromedriver) on the page that
`vantrel web` serves over HTTPS with its kept key, against `vantrel console` inside TLS on
loopback, its key pinned. The canvas is read back pixel for pixel, keys and a click are found in
the console's input log, the clipboard crosses both ways, full screen fills the screen, a refused
login shows its text, a console with another key or none known is refused, the gateway refuses a
console it was not told about, a console killed and started again is reconnected; over clear
HTTP, a browser that stops reading stalls no other and one that answers no ping is dropped.

usage: browser_test.py VANTREL PAGE_DIR OUT_DIR
"""
import base64
import contextlib
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from web_harness import Console, Gateway, chromium, log_in, wait_for, write_png

TOOL, PAGE, OUT = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)
WIDTH, HEIGHT = 640, 480
PASSWORD = 'browser-secret'
OTHER_KEY = 'SHA256:' + 'A' * 43
UNTRUSTED = "The gateway does not trust this console's key."
CONSOLE_TEXT = 'from the console: caf\u00e9'  # sent as Latin-1, as the console's clipboard is


def served_picture():
    """640 x 480 RGB whose colours survive the console's 16-bit coding exactly (each channel's
    low bits repeat its high ones), so that the canvas must equal it byte for byte."""
    def exact(value, bits):
        v = value >> (8 - bits)
        return (v << (8 - bits)) | (v >> (2 * bits - 8))
    rows = []
    for y in range(HEIGHT):
        row = bytearray()
        for x in range(WIDTH):
            row += bytes((exact((x * 7) & 255, 5), exact((y * 3 + x) & 255, 6), exact((x ^ y) & 255, 5)))
        rows.append(bytes(row))
    return rows


class BrowserViewer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='vantrel-browser-')
        cls.picture = served_picture()
        write_png(os.path.join(cls.work, 'served.png'), WIDTH, HEIGHT, cls.picture)
        subprocess.run([TOOL, 'account', 'add', os.path.join(cls.work, 'accounts'), 'operator'],
                       input=PASSWORD + '\n', text=True, check=True, capture_output=True)
        cls.console = cls.start_console()
        at = f'127.0.0.1:{cls.console.port}'
        cls.known = os.path.join(cls.work, 'known_consoles')
        cls.gateway = Gateway(TOOL, cls.work, PAGE, [f'lab={at}', f'impostor={at}', f'stranger={at}'],
                              ['--tls-fingerprint', f'lab={cls.console.key}', '--tls-fingerprint',
                               f'impostor={OTHER_KEY}', '--known-consoles', cls.known])
        cls.browser = chromium(os.path.join(cls.work, 'chromium'), trusted_key=cls.gateway.key)

    @classmethod
    def start_console(cls, port=0):
        return Console(TOOL, cls.work, ['--accounts', os.path.join(cls.work, 'accounts'), '--source',
                                        os.path.join(cls.work, 'served.png'), '--size', '640x480', '--clipboard-text',
                                        CONSOLE_TEXT.encode('latin-1')], port)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.gateway.stop()
        cls.console.stop()
        shutil.rmtree(cls.work, ignore_errors=True)

    def shot(self, name):
        if OUT:
            self.browser.save_screenshot(os.path.join(OUT, f'browser-{name}.png'))

    def js(self, script, *args):
        return self.browser.execute_script(script, *args)

    def log_in(self, password=PASSWORD, console='lab'):
        log_in(self.browser, self.gateway.url, 'operator', password, console)

    def canvas_rgb(self):
        data = self.js("""
            const c = document.getElementById('canvas');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            const rgb = new Uint8Array(c.width * c.height * 3);
            for (let i = 0, j = 0; i < d.length; i += 4) { rgb[j++] = d[i]; rgb[j++] = d[i + 1]; rgb[j++] = d[i + 2]; }
            let s = ''; for (let i = 0; i < rgb.length; i += 8192) s += String.fromCharCode(...rgb.subarray(i, i + 8192));
            return [c.width, c.height, btoa(s)];""")
        return data[0], data[1], base64.b64decode(data[2])

    def picture_shown(self):
        width, height, rgb = self.canvas_rgb()
        return (width, height) == (WIDTH, HEIGHT) and rgb == b''.join(self.picture)

    def status(self):
        return self.browser.find_element(By.ID, 'status').text

    def test_1_session(self):
        self.log_in()
        wait_for(lambda: self.status() == 'operator on lab', what='the session to run')
        wait_for(self.picture_shown, what='the canvas to show the served picture pixel for pixel')
        self.assertRegex(self.gateway.text(), r'relayed to console lab at .* \(TLSv1.3 \S+, packed for the browser\)')
        self.shot('session')

        # Full screen: the session fills the screen, the picture scaled up into it; and back.
        canvas_size = "return document.getElementById('canvas').getBoundingClientRect().toJSON()"
        windowed = self.js(canvas_size)
        self.browser.find_element(By.ID, 'full-screen').click()
        wait_for(lambda: self.js('return document.fullscreenElement?.id') == 'session', what='full screen')
        screen = self.js('return [screen.width, screen.height]')
        wait_for(lambda: self.js(canvas_size)['width'] > windowed['width'], what='the picture to grow')
        full = self.js(canvas_size)
        self.assertAlmostEqual(full['width'] / full['height'], WIDTH / HEIGHT, delta=0.01)
        self.assertTrue(full['width'] <= screen[0] and full['height'] <= screen[1], (full, screen))
        self.browser.find_element(By.ID, 'full-screen').click()
        wait_for(lambda: self.js('return document.fullscreenElement') is None, what='the window again')
        wait_for(lambda: self.js(canvas_size)['width'] == windowed['width'], what='the windowed picture')

        # Keys: two letters, a shifted one, a key without a character.
        canvas = self.browser.find_element(By.ID, 'canvas')
        ActionChains(self.browser).send_keys_to_element(canvas, 'ab').key_down(Keys.SHIFT).send_keys('c') \
            .key_up(Keys.SHIFT).send_keys(Keys.F5).perform()
        keys = lambda: [(e['keysym'], e['down']) for e in self.console.events('key')]
        expected = [('0x0061', True), ('0x0061', False), ('0x0062', True), ('0x0062', False), ('0xffe1', True),
                    ('0x0043', True), ('0x0043', False), ('0xffe1', False), ('0xffc2', True), ('0xffc2', False)]
        wait_for(lambda: keys()[-len(expected):] == expected, what=f'the keys in the input log, {keys()}')

        # A click through the scale: the console gets the remote pixel under the pointer.
        self.js("""window.downAt = null; document.getElementById('canvas').addEventListener(
                       'pointerdown', (e) => { window.downAt = [e.clientX, e.clientY]; });""")
        ActionChains(self.browser).move_to_element_with_offset(canvas, 100, 50).click().perform()
        at = wait_for(lambda: self.js('return window.downAt'), what='the click in the page')
        rect = self.js("return document.getElementById('canvas').getBoundingClientRect().toJSON()")
        self.assertLess(rect['width'], WIDTH)  # the picture is scaled down to the tab
        remote = (int((at[0] - rect['x']) * WIDTH // rect['width']), int((at[1] - rect['y']) * HEIGHT // rect['height']))
        clicks = lambda: [(e['x'], e['y'], e['mask']) for e in self.console.events('pointer')]
        wait_for(lambda: (*remote, 1) in clicks() and clicks()[-1] == (*remote, 0),
                 what=f'the click at {remote} in the input log, {clicks()[-3:]}')

        # The clipboard both ways: the console's text reaches the page, pasted text the console.
        wait_for(lambda: self.js("return document.getElementById('clipboard-text').value") == CONSOLE_TEXT,
                 what="the console's clipboard text in the page: " +
                 repr(self.js("return document.getElementById('clipboard-text').value")))
        paste = """const data = new DataTransfer(); data.setData('text/plain', arguments[0]);
                   document.getElementById('canvas').dispatchEvent(
                       new ClipboardEvent('paste', { clipboardData: data, bubbles: true }));"""
        self.js(paste, CONSOLE_TEXT)  # the console's own text coming back is no change: not sent
        self.js(paste, 'pasted\r\nhere')
        wait_for(lambda: any(e['text'] == 'pasted\nhere' for e in self.console.events('clipboard')),
                 what='the pasted text in the input log')
        self.assertEqual(len(self.console.events('clipboard')), 1)

        # The console killed and started again on its port: the dimmed picture, then the session again.
        port = self.console.port
        self.console.stop(signal.SIGKILL)
        wait_for(lambda: self.status() == 'reconnecting', what='the page to say it is reconnecting')
        self.assertTrue(self.js("return document.getElementById('screen').classList.contains('dimmed')"))
        # The last picture stays through the attempts that fail.
        attempts = lambda: self.gateway.text().count('no connection to console lab')
        failed = attempts()
        wait_for(lambda: attempts() > failed, what='an attempt to reconnect')
        self.assertTrue(self.picture_shown(), 'the last picture kept while reconnecting')
        self.shot('reconnecting')
        type(self).console = self.start_console(port)
        wait_for(lambda: self.status() == 'operator on lab', limit=20, what='the session to come back')
        wait_for(self.picture_shown, what='the picture after the reconnection')

        # The key menu: a combination for the console, then Disconnect lets go of every key.
        self.browser.find_element(By.ID, 'keys-button').click()
        self.browser.find_element(By.CSS_SELECTOR, '[data-special="3"]').click()
        wait_for(lambda: [e['name'] for e in self.console.events('request')] == ['ctrl-alt-del'],
                 what='Ctrl+Alt+Del in the input log')
        self.browser.find_element(By.ID, 'keys-button').click()
        self.browser.find_element(By.ID, 'disconnect').click()
        wait_for(lambda: ('0xffffffff', False) in keys(), what='every key let go on disconnecting')
        self.assertEqual(self.browser.find_element(By.ID, 'notice').text, 'Disconnected.')

    def test_2_refused_login(self):
        self.log_in(password='wrong')
        notice = wait_for(lambda: self.browser.find_element(By.ID, 'notice').text, what='a refusal')
        with open(os.path.join(os.path.dirname(__file__), '../../host/consoleclient.ini'), encoding='latin-1') as f:
            expected = next(line.split('=', 1)[1].strip() for line in f if line.startswith('LoginFailed_en='))
        self.assertEqual(notice, expected.replace('\\n', ' '))
        self.shot('refused')

    def test_3_untrusted_consoles(self):
        # The same console under a name pinned to another key, and under one that is not known.
        for name, says in (('impostor', f'not the one given with --tls-fingerprint ({OTHER_KEY})'),
                           ('stranger', f'is not known yet; its key is {self.console.key}')):
            self.log_in(console=name)
            wait_for(lambda: self.browser.find_element(By.ID, 'notice').text == UNTRUSTED,
                     what=f'the refusal of {name}: {self.browser.find_element(By.ID, "notice").text!r}')
            self.assertIn(f'refused console {name} at 127.0.0.1:{self.console.port}: the console at', self.gateway.text())
            self.assertIn(says, self.gateway.text())
        self.assertIn(f'--accept-new to remember it in {self.known}, or with --tls-fingerprint stranger=',
                      self.gateway.text())
        self.assertFalse(os.path.exists(self.known))  # nothing remembered without --accept-new

    def test_4_unknown_console(self):
        tls = ssl.create_default_context()
        tls.check_hostname, tls.verify_mode = False, ssl.CERT_NONE
        request = ('GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n{more}Upgrade: websocket\r\n'
                   'Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n')

        def answer(path, more=''):
            with tls.wrap_socket(socket.create_connection(('127.0.0.1', self.gateway.port))) as s:
                s.sendall(request.format(path=path, port=self.gateway.port, more=more).encode())
                return s.recv(4096)
        for path in ('/ws/elsewhere', '/ws/127.0.0.1:22', '/ws/../lab'):
            self.assertTrue(answer(path).startswith(b'HTTP/1.1 404'), path)
        self.assertIn('asked for a console this gateway does not serve', self.gateway.text())
        # A page of another site cannot open a relay.
        self.assertTrue(answer('/ws/lab', 'Origin: https://evil.example\r\n').startswith(b'HTTP/1.1 403'))


class Flood:
    """A console that sends bytes without end to whoever connects, as fast as it is read."""
    def __init__(self):
        self.server = socket.create_server(('127.0.0.1', 0))
        self.port = self.server.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            connection, _ = self.server.accept()
            threading.Thread(target=self.flood, args=(connection,), daemon=True).start()

    @staticmethod
    def flood(connection):
        chunk = bytes(65536)
        with contextlib.suppress(OSError):
            while True:
                connection.sendall(chunk)


def open_relay(port, name, packed=False):
    """A WebSocket to the gateway's relay for `name`, by hand: the handshake, then raw frames;
    `packed` asks for the console's bytes packed, as the page does."""
    s = socket.create_connection(('127.0.0.1', port))
    protocol = 'Sec-WebSocket-Protocol: vantrel.lz4\r\n' if packed else ''
    s.sendall((f'GET /ws/{name} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n'
               'Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n'
               f'{protocol}\r\n').encode())
    reply = b''
    while b'\r\n\r\n' not in reply:
        reply += s.recv(1)
    assert reply.startswith(b'HTTP/1.1 101'), reply
    return s


def frame_sizes(s, total, packed=False):
    """How many of the console's bytes each WebSocket frame carries, up to `total` of them: its
    payload's size, or for a packed relay the count its packed message unpacks to."""
    pending, sizes = b'', []
    def take(n):
        nonlocal pending
        while len(pending) < n:
            data = s.recv(1 << 20)
            assert data, 'the relay closed'
            pending += data
        taken, pending = pending[:n], pending[n:]
        return taken
    while sum(sizes) < total:
        length = take(2)[1] & 0x7F
        length = int.from_bytes(take({126: 2, 127: 8}[length]), 'big') if length >= 126 else length
        payload = take(length)
        if not packed:
            sizes.append(length)
        else:  # kind 1, LZ4: the count it unpacks to; kind 0: the bytes after the kind
            sizes.append(int.from_bytes(payload[1:5], 'little') if payload[0] == 1 else length - 1)
    return sizes


class SlowBrowsers(unittest.TestCase):
    """Browsers by hand over the clear HTTP of a local try, relayed to clear consoles that flood."""
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='vantrel-gateway-')
        self.flood = Flood()

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def clear_gateway(self, names, more=()):
        at = f'127.0.0.1:{self.flood.port}'
        return Gateway(TOOL, self.work, PAGE, [f'{n}={at}' for n in names],
                       ['--clear-http', *[a for n in names for a in ('--clear-console', n)], *more])

    def test_a_browser_that_stops_reading_stalls_nobody_else(self):
        web = self.clear_gateway(['a', 'b'])
        try:
            # Never read: its queue fills and its console waits, a message packed and unsent.
            stuck = open_relay(web.port, 'a', packed=True)
            time.sleep(1)
            for packed in (False, True):
                with self.subTest(packed=packed):
                    reader = open_relay(web.port, 'b', packed)
                    reader.settimeout(10)
                    started = time.monotonic()
                    sizes = frame_sizes(reader, 64 * 1024 * 1024, packed)
                    self.assertLess(time.monotonic() - started, 30)
                    # What keeps coming goes in large messages, each one frame: the browser pays per frame.
                    self.assertGreater(sum(sizes) / len(sizes), 128 * 1024)
                    reader.close()
            # The page is still served while one browser holds its relay full.
            with socket.create_connection(('127.0.0.1', web.port), timeout=5) as s:
                s.sendall(f'GET /consoles.json HTTP/1.1\r\nHost: 127.0.0.1:{web.port}\r\n\r\n'.encode())
                self.assertIn(b'["a","b"]', s.recv(4096))
            stuck.close()
        finally:
            web.stop()

    def test_a_browser_that_answers_no_ping_is_dropped(self):
        web = self.clear_gateway(['a', 'b'], ['--idle-limit', '2'])
        try:
            # One that reads what comes but answers no ping, one that reads nothing at all.
            silent, stuck = open_relay(web.port, 'a'), open_relay(web.port, 'b')
            silent.settimeout(10)
            started = time.monotonic()
            with contextlib.suppress(OSError):
                while silent.recv(1 << 20):
                    pass
            self.assertLess(time.monotonic() - started, 10)
            wait_for(lambda: web.text().count('left console') == 2, what='both browsers dropped: ' + web.text())
            silent.close()
            stuck.close()
        finally:
            web.stop()


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
