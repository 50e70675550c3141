"""What the browser tests, scripts/demo and scripts/measure-web share: headless Chromium as this
closed machine needs it, a PNG written without libraries, and `vantrel console` and `vantrel web`
started on loopback with their logs read back."""
import json
import os
import re
import signal
import struct
import subprocess
import time
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


def wait_for(condition, limit=15.0, what='the condition'):
    end = time.monotonic() + limit
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.05)


def chromium(user_data_dir, width=800, height=560, trusted_key=None):
    """Headless Chromium that reaches for no host of its own (this network refuses them). With
    `trusted_key` (SHA256:... as the gateway prints it) it takes a certificate with that key as
    a user who compared the fingerprints would."""
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 f'--user-data-dir={user_data_dir}', f'--window-size={width},{height}'):
        options.add_argument(flag)
    if trusted_key:
        options.add_argument(f"--ignore-certificate-errors-spki-list={trusted_key.removeprefix('SHA256:')}=")
    browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    browser.set_script_timeout(30)
    return browser


def write_png(path, width, height, rows):
    """An RGB PNG of `rows` (bytes of width x 3 each), stored unfiltered."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\0' + r for r in rows)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 6)) + chunk(b'IEND', b''))


class Process:
    """A tool command in the background, its output in WORK/NAME.out."""
    def __init__(self, work, name, args, ready):
        self.path = os.path.join(work, f'{name}.out')
        self.out = open(self.path, 'w')
        self.process = subprocess.Popen(args, stdout=self.out, stderr=subprocess.STDOUT)
        self.port = wait_for(lambda: self.listening(ready), what=f'{name} to listen')

    def text(self):
        with open(self.path) as f:
            return f.read()

    def listening(self, marker):
        for line in self.text().splitlines():
            if marker in line:
                return int(line.split(marker)[1].split(':')[-1].split('/')[0].split()[0])
        assert self.process.poll() is None, f'{self.path}: ended before listening'
        return None

    def stop(self, how=signal.SIGTERM):
        self.process.send_signal(how)
        self.process.wait(10)
        self.out.close()


def tls_key(process):
    """The SHA256:... key a console or a gateway printed at start."""
    return re.search(r'key (SHA256:[A-Za-z0-9+/]{43})', process.text()).group(1)


class Console(Process):
    """`vantrel console` inside TLS on a loopback port, its key kept in WORK/console-state, with an
    input log."""
    def __init__(self, tool, work, args, port=0):
        self.log = os.path.join(work, 'input.log')
        super().__init__(work, 'console', [tool, 'console', '--listen', '127.0.0.1', '--port', str(port),
                                           '--allow-local', '--input-log', self.log, '--tls', '--state-dir',
                                           os.path.join(work, 'console-state'), *args], 'listening on ')
        self.key = tls_key(self)

    def events(self, kind):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [e for e in (json.loads(line) for line in f if line.strip()) if e.get('event') == kind]


class Gateway(Process):
    """`vantrel web` on a loopback port: HTTPS with its key kept in WORK/web-state, or clear HTTP
    when `args` ask for it."""
    def __init__(self, tool, work, page, consoles, args=()):
        state = [] if '--clear-http' in args else ['--state-dir', os.path.join(work, 'web-state')]
        super().__init__(work, 'web', [tool, 'web', '--listen', '127.0.0.1', '--port', '0', '--page-dir', page,
                                       *state, *[f'--console={c}' for c in consoles], *args], 'listening on ')
        self.url = re.search(r'listening on (\S+)', self.text()).group(1)
        self.key = tls_key(self) if self.url.startswith('https') else None


def pinned_gateway(tool, work, page, console, name='lab', args=()):
    """A gateway over HTTPS relaying `name` to the console inside TLS, its key pinned."""
    return Gateway(tool, work, page, [f'{name}=127.0.0.1:{console.port}'],
                   ['--tls-fingerprint', f'{name}={console.key}', *args])


def log_in(browser, url, user, password, console):
    browser.get(url)
    wait_for(lambda: browser.execute_script('return document.body.dataset.ready') == 'true',
             what='the page to load its core')
    browser.execute_script("document.getElementById('console').value = arguments[0]", console)
    browser.find_element(By.ID, 'user').send_keys(user)
    browser.find_element(By.ID, 'password').send_keys(password)
    browser.find_element(By.ID, 'connect').click()
