#!/usr/bin/env python3
"""The page in headless Chromium, driven over the DevTools protocol on a pipe (no port), offline.

Each case chooses files on the page's file input, presses a button, and compares what the page
offers with what the native programs write for the same files: the bytes of every result, and the
checker's text. Also: a 64 MiB table streams through with the worker's heap unchanged, the page
loads from file:// and over HTTP, makes no network request, and has no accessibility violation
that axe-core finds. A screenshot after a check is kept.

    PageTest.py PAGE NATIVE_BUILD_DIR WORK_DIR [AXE_CORE_JS]
"""
import base64
import hashlib
import http.server
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time

PAGE, NATIVE, WORK = (os.path.abspath(a) for a in sys.argv[1:4])
AXE = sys.argv[4] if len(sys.argv) > 4 else ''
CHROMIUM = os.environ.get('CHROMIUM', '/usr/lib/chromium/chromium')
failures = []
passed = 0


def check(condition, what):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(what)
        print('FAILED: ' + what, flush=True)


class Browser:
    """Chromium with its DevTools protocol on file descriptors 3 and 4."""

    def __init__(self, profile):
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def wire():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        self.process = subprocess.Popen(
            [CHROMIUM, '--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
             '--remote-debugging-pipe', '--user-data-dir=' + profile, '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync',
             '--disable-extensions', '--disable-quic', 'about:blank'],
            pass_fds=(3, 4), preexec_fn=wire, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b''
        self.next_id = 0
        self.events = []
        self.session = None

    def send(self, method, params=None, session=True, timeout=600):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params or {}}
        if session and self.session:
            message['sessionId'] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b'\0')
        deadline = time.time() + timeout
        while time.time() < deadline:
            reply = self.receive()
            if reply.get('id') == self.next_id:
                if 'error' in reply:
                    raise RuntimeError(method + ': ' + json.dumps(reply['error']))
                return reply.get('result', {})
            self.events.append(reply)
        raise TimeoutError(method)

    def receive(self):
        while b'\0' not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError('the browser closed its pipe')
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b'\0', 1)
        return json.loads(message)

    def wait_event(self, name, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for i, event in enumerate(self.events):
                if event.get('method') == name:
                    return self.events.pop(i)
            self.events.append(self.receive())
        raise TimeoutError(name)

    def open(self, url):
        target = self.send('Target.createTarget', {'url': 'about:blank'}, session=False)
        attached = self.send('Target.attachToTarget', {'targetId': target['targetId'], 'flatten': True},
                             session=False)
        self.session = attached['sessionId']
        for domain in ('Page', 'Runtime', 'Network', 'DOM'):
            self.send(domain + '.enable')
        self.navigate(url)

    def navigate(self, url):
        self.events = [e for e in self.events if e.get('method') != 'Page.loadEventFired']
        self.send('Page.navigate', {'url': url})
        self.wait_event('Page.loadEventFired')

    def evaluate(self, expression, timeout=600):
        result = self.send('Runtime.evaluate', {'expression': expression, 'awaitPromise': True,
                                                'returnByValue': True}, timeout=timeout)
        if 'exceptionDetails' in result:
            raise RuntimeError(json.dumps(result['exceptionDetails'])[:2000])
        return result['result'].get('value')

    def choose(self, paths):
        document = self.send('DOM.getDocument')
        node = self.send('DOM.querySelector', {'nodeId': document['root']['nodeId'], 'selector': '#files'})
        self.send('DOM.setFileInputFiles', {'nodeId': node['nodeId'], 'files': paths})

    def press(self, button, timeout=600):
        self.evaluate("document.getElementById('%s').click(); window.vorlanth.running" % button, timeout)

    def results(self, digest=False):
        """What the page offers: name -> bytes (or their SHA-256 for large files)."""
        script = """(async () => {
          const out = {};
          for (const r of window.vorlanth.results) {
            const bytes = new Uint8Array(await r.blob.arrayBuffer());
            if (%s) {
              const hash = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
              out[r.name] = Array.from(hash, (b) => b.toString(16).padStart(2, '0')).join('');
            } else {
              let text = '';
              for (let i = 0; i < bytes.length; i += 32768) {
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
              }
              out[r.name] = btoa(text);
            }
          }
          return out;
        })()""" % ('true' if digest else 'false')
        offered = self.evaluate(script)
        return {k: (v if digest else base64.b64decode(v)) for k, v in offered.items()}

    def close(self):
        try:
            self.send('Browser.close', session=False, timeout=10)
        except Exception:
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def native(program, args, folder):
    """Runs a native program in `folder`; returns (status, stdout, stderr)."""
    run = subprocess.run([os.path.join(NATIVE, program)] + args, cwd=folder, capture_output=True)
    return run.returncode, run.stdout, run.stderr


def table(entries, end=True):
    data = b''.join(struct.pack('<H', i) + t.encode('utf-16-le', 'surrogatepass') + b'\0\0'
                    for i, t in entries)
    return data + (b'\xff\xff' if end else b'')


def dump(text, mark=True):
    return (b'\xff\xfe' if mark else b'') + text.encode('utf-16-le', 'surrogatepass')


# The conversion cases: what the black-box suite converts, and tables of the benchmark's kind.
CONVERSIONS = [
    ('example.lang', table([(1, 'Hi')])),
    ('empty-table.lang', table([])),
    ('cut-short.lang', table([(1, 'abc')], end=False)[:-2]),
    ('odd-byte.lang', table([(2, 'x')]) + b'\x30'),
    ('after-end.lang', table([(3, 'y')]) + b'junk'),
    ('surrogates.lang', table([(4, '\ud83d\ude00 \ud800 lone'), (0xFFFE, 'last id')])),
    ('cr-lf.lang', table([(5, 'a\r'), (6, '\r\nb')])),
    ('example.txt', dump('0001=Hi\n')),
    ('lower-case.txt', dump('00ab=x\n')),
    ('bom-only.txt', dump('')),
    ('no-mark.txt', dump('0001=Hi\n', mark=False)),
    ('cut-field.txt', dump('0001=a\n00')),
    ('no-last-lf.txt', dump('0001=a\n0002=b')),
    ('ffff.txt', dump('0001=a\nFFFF=end\n0002=b\n')),
    ('long.txt', dump('0001=' + 'x' * 100000 + '\n')),
]


def convert_cases(browser, folder):
    for name, data in CONVERSIONS:
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
    subprocess.run([os.path.join(NATIVE, 'make_table'), '3', '11', os.path.join(folder, 'random.lang')],
                   check=True)
    subprocess.run([os.path.join(NATIVE, 'make_table'), '--short', '2', '12', os.path.join(folder, 'short.lang')],
                   check=True)
    names = [n for n, _ in CONVERSIONS] + ['random.lang', 'short.lang']
    # The page decides per file, as the drop target: each .lang decoded, each .txt checked and then
    # encoded. The native programs do the same in a copy of the folder.
    expected = {}
    reference = folder + '-native'
    shutil.copytree(folder, reference)
    for name in names:
        if name.endswith('.txt'):
            status, _, _ = native('vorlanth_check', ['--', name], reference)
            if status != 0:
                continue
        out = name[:-4] + '.lang' if name.endswith('.txt') else name[:-5] + '.txt'
        target = os.path.join(reference, out)
        if os.path.exists(target):
            os.remove(target)
        status, _, _ = native('vorlanth_lang', ['e' if name.endswith('.txt') else 'd', name], reference)
        if status == 0 and os.path.exists(target):
            with open(target, 'rb') as f:
                expected[out] = f.read()
    for start in range(0, len(names), 6):
        # A fresh page every few files: headless Chromium starts no more than six downloads a page.
        browser.navigate(PAGE_URL)
        batch = names[start:start + 6]
        browser.choose([os.path.join(folder, n) for n in batch])
        browser.press('convert')
        offered = browser.results()
        for name in batch:
            out = name[:-4] + '.lang' if name.endswith('.txt') else name[:-5] + '.txt'
            if out in expected:
                check(offered.get(out) == expected[out], 'convert %s: the same bytes as the program' % name)
            else:
                check(out not in offered, 'convert %s: nothing offered where the program fails' % name)


def check_case(browser, folder, screenshot):
    with open(os.path.join(folder, 'slips.txt'), 'wb') as f:
        f.write(dump('0001=Options\n\n0002=Quit\n0003\u2028=broken\n0001=again\r\n0004=Optionen'))
    with open(os.path.join(folder, 'clean.lang'), 'wb') as f:
        f.write(table([(1, 'a'), (2, 'b\nc')]))
    _, text, _ = native('vorlanth_check', ['--', 'slips.txt', 'clean.lang'], folder)
    browser.navigate(PAGE_URL)
    browser.choose([os.path.join(folder, 'slips.txt'), os.path.join(folder, 'clean.lang')])
    browser.press('check')
    shown = browser.evaluate("document.getElementById('log').textContent")
    check(shown == text.decode(), 'check: the same text as the program')
    rows = browser.evaluate("document.querySelectorAll('#findings tbody tr').length")
    check(rows == sum(1 for line in text.decode().splitlines()
                      if not re.match(r' *\d* \| ', line)
                      and (': error: ' in line or ': warning: ' in line or ': note: ' in line)),
          'check: one row a finding')
    shot = browser.send('Page.captureScreenshot', {'format': 'png', 'captureBeyondViewport': True})
    with open(screenshot, 'wb') as f:
        f.write(base64.b64decode(shot['data']))


def po_cases(browser, folder):
    with open(os.path.join(folder, 'menu.lang'), 'wb') as f:
        f.write(table([(1, 'New Game'), (2, '%d of %s'), (2, 'Save'), (3, '')]))
    with open(os.path.join(folder, 'de.lang'), 'wb') as f:
        f.write(table([(1, 'Neues Spiel'), (2, '%d von %s'), (2, 'Speichern'), (3, '')]))
    # The same modification times the page's files will carry into the headers.
    for name in ('menu.lang', 'de.lang'):
        os.utime(os.path.join(folder, name), (1765000000, 1765000000))
    native('vorlanth_po', ['export', 'menu.lang', 'menu.pot'], folder)
    native('vorlanth_po', ['export', 'menu.lang', 'de.lang', 'de.po'], folder)
    native('vorlanth_po', ['import', 'menu.lang', 'de.po', 'menu-de.lang'], folder)
    expected = {}
    for name in ('menu.pot', 'de.po', 'menu-de.lang'):
        with open(os.path.join(folder, name), 'rb') as f:
            expected[name] = f.read()
    for files, button, made in ((['menu.lang'], 'export', 'menu.pot'),
                                (['menu.lang', 'de.lang'], 'export', 'de.po'),
                                (['menu.lang', 'de.po'], 'import', 'menu-de.lang')):
        browser.navigate(PAGE_URL)
        browser.choose([os.path.join(folder, n) for n in files])
        browser.evaluate("document.getElementById('original').value = 'menu.lang'")
        browser.press(button)
        offered = browser.results()
        check(offered.get(made) == expected[made], '%s: %s the same bytes as the program' % (button, made))


def large_case(browser, folder):
    path = os.path.join(folder, 'large.lang')
    subprocess.run([os.path.join(NATIVE, 'make_table'), '64', '13', path, path[:-5] + '.ref.txt'], check=True)
    with open(path[:-5] + '.ref.txt', 'rb') as f:
        wanted = hashlib.sha256(f.read()).hexdigest()
    browser.navigate(PAGE_URL)
    browser.choose([path])
    started = time.time()
    browser.press('convert')
    seconds = time.time() - started
    offered = browser.results(digest=True)
    check(offered.get('large.txt') == wanted, '64 MiB table: the same dump as the program')
    print('64 MiB table converted in the page in %.1f s' % seconds, flush=True)


def peak_kib(root):
    """The largest peak resident size among the browser's processes, in KiB, by kind."""
    peaks = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open('/proc/%s/cmdline' % entry, 'rb') as f:
                command = f.read().split(b'\0')
            with open('/proc/%s/status' % entry) as f:
                status = dict(line.split(':', 1) for line in f if ':' in line)
        except OSError:
            continue
        if not command or not command[0].endswith(b'chromium'):
            continue
        kind = next((c[7:].decode() for c in command if c.startswith(b'--type=')), 'browser')
        peak = int(status.get('VmHWM', '0 kB').split()[0])
        peaks[kind] = max(peaks.get(kind, 0), peak)
    return peaks


def benchmark(browser, folder, mib):
    """A table of `mib` MiB from the file chosen to the download ready, beside the program."""
    path = os.path.join(folder, 'bench.lang')
    subprocess.run([os.path.join(NATIVE, 'make_table'), str(mib), '14', path], check=True)
    started = time.time()
    native('vorlanth_lang', ['d', 'bench.lang'], folder)
    native_seconds = time.time() - started
    with open(path[:-5] + '.txt', 'rb') as f:
        wanted = hashlib.sha256(f.read()).hexdigest()
    output_kib = os.path.getsize(path[:-5] + '.txt') // 1024
    browser.navigate(PAGE_URL)
    browser.choose([path])
    started = time.time()
    browser.press('convert')
    seconds = time.time() - started
    check(browser.results(digest=True).get('bench.txt') == wanted, 'benchmark: the same dump')
    peaks = peak_kib(browser.process.pid)
    print('benchmark: %d MiB table, page %.2f s, native %.2f s (%.2fx); output %d KiB; peak RSS '
          'KiB by process: %s' % (mib, seconds, native_seconds, seconds / native_seconds,
                                  output_kib, peaks), flush=True)


def accessibility(browser):
    if not AXE:
        check(False, 'axe-core was not given')
        return
    browser.navigate(PAGE_URL)
    with open(AXE) as f:
        browser.evaluate(f.read() + '\n;0')
    violations = browser.evaluate("axe.run(document).then(r => r.violations.map(v => v.id + ': ' + v.help))")
    check(violations == [], 'axe-core finds no violation: %s' % violations)


def no_network(browser, allowed_prefixes):
    requested = [e['params']['request']['url'] for e in browser.events
                 if e.get('method') == 'Network.requestWillBeSent']
    strays = [u for u in requested if not u.startswith(tuple(allowed_prefixes))]
    check(strays == [], 'the page requests nothing from the network: %s' % strays[:5])


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main():
    global PAGE_URL
    os.makedirs(WORK, exist_ok=True)
    folder = os.path.join(WORK, 'files')
    shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(folder + '-native', ignore_errors=True)
    os.makedirs(folder)
    browser = Browser(os.path.join(WORK, 'profile-file'))
    try:
        PAGE_URL = 'file://' + os.path.abspath(PAGE)
        browser.open(PAGE_URL)
        convert_cases(browser, folder)
        check_case(browser, folder, os.path.join(WORK, 'page-after-check.png'))
        po_cases(browser, folder)
        large_case(browser, folder)
        if os.environ.get('PAGE_BENCH_MIB'):
            benchmark(browser, folder, int(os.environ['PAGE_BENCH_MIB']))
        accessibility(browser)
        no_network(browser, ['file://', 'blob:', 'data:', 'about:'])
    finally:
        browser.close()

    # From a static web host: the same page over HTTP.
    page_folder = os.path.dirname(os.path.abspath(PAGE))
    server = http.server.ThreadingHTTPServer(
        ('127.0.0.1', 0), lambda *a: Quiet(*a, directory=page_folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    host = 'http://127.0.0.1:%d/' % server.server_address[1]
    browser = Browser(os.path.join(WORK, 'profile-http'))
    try:
        PAGE_URL = host + os.path.basename(PAGE)
        browser.open(PAGE_URL)
        browser.choose([os.path.join(folder, 'example.lang')])
        browser.press('convert')
        check(browser.results().get('example.txt') == dump('0001=Hi\n'), 'over HTTP: the page converts')
        no_network(browser, [PAGE_URL, 'blob:', 'data:', 'about:'])
    finally:
        browser.close()
        server.shutdown()
    print('%d passed, %d failed' % (passed, len(failures)), flush=True)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
