#!/usr/bin/env python3
"""Loopback HTTP scenario server for the HTTP tests.

  scenario_server.py start STATE   start a server in the background, write
                                   STATE once it listens, and return
  scenario_server.py stop STATE    stop it and remove STATE
  scenario_server.py serve STATE   run in the foreground

STATE holds "key=value" lines: port (the HTTP server), closed (a bound
port that refuses connections), blackhole (a port whose connects never
complete), pid. Ports are chosen by the system at run time.

The server stops by itself when STATE is removed or names another
server, after IDLE_LIMIT seconds without a request, and after LIFETIME
seconds in any case, so that an interrupted test run leaves nothing behind.
"""

import gzip
import http.server
import os
import select
import socket
import sys
import threading
import time
import urllib.parse
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools', 'serp-sim'))
import loopback_server  # noqa: E402  (beside serp_sim.py, which shares it)

IDLE_LIMIT = 300
LIFETIME = 1800

UTF8_PAGE = ('<html><head><meta charset="utf-8"><title>测试页</title></head>'
             '<body><p>原创检测 ok</p></body></html>').encode('utf-8')
NOT_FOUND_PAGE = '<html><body><h1>404</h1><p>页面不存在</p></body></html>'.encode('utf-8')
GB2312_PAGE = '<html><body>中文</body></html>'.encode('gb2312')

events = []            # guarded by events_lock
events_lock = threading.Lock()
last_request = [time.monotonic()]
bomb_cache = []


def record(text):
    with events_lock:
        events.append(text)


def gzip_bomb():
    if not bomb_cache:
        c = zlib.compressobj(9, zlib.DEFLATED, 16 + 15)
        zeros = bytes(1 << 20)
        parts = [c.compress(zeros) for _ in range(64)]
        parts.append(c.flush())
        bomb_cache.append(b''.join(parts))
    return bomb_cache[0]


def raw_deflate(data):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = 'ZqeScenario/1'
    sys_version = ''

    def log_message(self, *args):
        pass

    def reply(self, code, body, ctype='text/html; charset=utf-8', headers=()):
        self.send_response(code)
        self.send_header('Content-Type', ctype)
        self.send_header('Content-Length', str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        last_request[0] = time.monotonic()
        url = urllib.parse.urlsplit(self.path)
        q = dict(urllib.parse.parse_qsl(url.query))
        path = url.path
        if path == '/utf8':
            self.reply(200, UTF8_PAGE)
        elif path == '/utf8-declared-gbk':
            self.reply(200, UTF8_PAGE, 'text/html; charset=gbk')
        elif path == '/gb2312':
            self.reply(200, GB2312_PAGE, 'text/html; charset=gb2312')
        elif path == '/redirect':
            self.reply(302, b'<html>moved</html>', headers=[('Location', '/utf8')])
        elif path == '/redirect-to-404':
            self.reply(302, b'<html>moved</html>', headers=[('Location', '/missing')])
        elif path == '/loop':
            n = int(q.get('n', '0'))
            record('loop %d' % n)
            self.reply(302, b'', headers=[('Location', '/loop?n=%d' % (n + 1))])
        elif path == '/gzip':
            self.reply(200, gzip.compress(UTF8_PAGE), headers=[('Content-Encoding', 'gzip')])
        elif path == '/deflate':
            self.reply(200, zlib.compress(UTF8_PAGE), headers=[('Content-Encoding', 'deflate')])
        elif path == '/deflate-raw':
            self.reply(200, raw_deflate(UTF8_PAGE), headers=[('Content-Encoding', 'deflate')])
        elif path == '/gzip-corrupt':
            body = bytearray(gzip.compress(UTF8_PAGE * 4))
            for k in range(12, len(body) - 8):
                body[k] ^= 0x5A
            self.reply(200, bytes(body), headers=[('Content-Encoding', 'gzip')])
        elif path == '/gzipbomb':
            self.reply(200, gzip_bomb(), headers=[('Content-Encoding', 'gzip')])
        elif path == '/bytes':
            self.reply(200, b'x' * int(q.get('n', '0')), 'text/plain')
        elif path == '/echo':
            lines = ''.join('%s: %s\r\n' % (k, v) for k, v in self.headers.items())
            self.reply(200, lines.encode('utf-8'), 'text/plain; charset=utf-8')
        elif path == '/hang':
            # Reads the request and never answers; closes after `ms`.
            record('hang start')
            time.sleep(min(int(q.get('ms', '10000')), 60000) / 1000.0)
            record('hang end')
            self.close_connection = True
        elif path == '/endless':
            self.send_response(200)
            self.send_header('Content-Type', 'text/plain')
            self.end_headers()
            chunk = b'z' * 65536
            try:
                for _ in range(16384):   # 1 GiB at most
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True
        elif path == '/slow':
            # "end" is recorded before the body goes out, so a client that
            # waits for the whole response cannot send its next request
            # before the record exists.
            rid = q.get('id', '?')
            record('start ' + rid)
            time.sleep(int(q.get('ms', '300')) / 1000.0)
            body = ('slow ' + rid).encode()
            self.send_response(200)
            self.send_header('Content-Type', 'text/plain')
            self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.flush()
            record('end ' + rid)
            self.wfile.write(body)
        elif path == '/events':
            with events_lock:
                body = '\n'.join(events).encode()
                if q.get('reset'):
                    events.clear()
            self.reply(200, body, 'text/plain')
        elif path == '/setcookie':
            self.reply(200, b'<html>cookie set</html>',
                       headers=[('Set-Cookie', 'zqsid=abc123; Path=/'),
                                ('Set-Cookie', 'zqlang=zh; Domain=127.0.0.1; Path=/p')])
        elif path == '/cookie-redirect':
            self.reply(302, b'', headers=[('Set-Cookie', 'zqsid=abc123; Path=/'),
                                          ('Location', '/echo')])
        elif path == '/__quit':
            self.reply(200, b'bye', 'text/plain')
            threading.Thread(target=self.server.shutdown, daemon=True).start()
        else:
            self.reply(404, NOT_FOUND_PAGE)


def blackhole_socket():
    """A listener whose accept queue is kept full, so that further SYNs are
    dropped and connects hang until the client's connect time-out."""
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    s.listen(0)
    fillers = []
    for _ in range(16):
        c = socket.socket()
        c.setblocking(False)
        c.connect_ex(s.getsockname())
        fillers.append(c)
        _, writable, _ = select.select([], [c], [], 0.2)
        if not writable:
            break
    return s, fillers


def client_hello_alpn(data):
    """The ALPN protocol names a TLS ClientHello offers, or None when the
    bytes are no ClientHello."""
    try:
        if data[0] != 0x16 or data[5] != 0x01:
            return None
        p = 5 + 4 + 2 + 32                      # record, handshake, version, random
        p += 1 + data[p]                        # session id
        p += 2 + int.from_bytes(data[p:p + 2], 'big')   # cipher suites
        p += 1 + data[p]                        # compression methods
        end = p + 2 + int.from_bytes(data[p:p + 2], 'big')
        p += 2
        while p + 4 <= end:
            etype = int.from_bytes(data[p:p + 2], 'big')
            elen = int.from_bytes(data[p + 2:p + 4], 'big')
            if etype == 0x10:
                names, q, qend = [], p + 6, p + 4 + elen
                while q < qend:
                    n = data[q]
                    names.append(data[q + 1:q + 1 + n].decode('ascii', 'replace'))
                    q += 1 + n
                return names
            p += 4 + elen
        return []
    except IndexError:
        return None


def tls_hello_listener():
    """A listener that reads what a TLS client says first, records the
    application protocols its ClientHello offers ("alpn h2,http/1.1"), and
    hangs up: enough to see what a client would speak, without a
    certificate."""
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    s.listen(8)

    def loop():
        while True:
            try:
                c, _ = s.accept()
            except OSError:
                return
            try:
                c.settimeout(5)
                data = b''
                while len(data) < 5 or len(data) < 5 + int.from_bytes(data[3:5], 'big'):
                    chunk = c.recv(65536)
                    if not chunk:
                        break
                    data += chunk
                names = client_hello_alpn(data)
                record('alpn ' + (','.join(names) if names is not None else '?'))
            except OSError:
                pass
            finally:
                c.close()

    threading.Thread(target=loop, daemon=True).start()
    return s


def serve(state_path):
    httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    httpd.daemon_threads = True
    closed = socket.socket()
    closed.bind(('127.0.0.1', 0))     # bound, never listening: refuses
    hole, fillers = blackhole_socket()
    hello = tls_hello_listener()
    pid = os.getpid()
    loopback_server.write_state(state_path, {
        'port': httpd.server_address[1], 'closed': closed.getsockname()[1],
        'blackhole': hole.getsockname()[1], 'tlshello': hello.getsockname()[1], 'pid': pid})

    started = time.monotonic()

    def watchdog():
        while True:
            time.sleep(1)
            state = loopback_server.read_state(state_path)
            now = time.monotonic()
            if (state is None or state.get('pid') != str(pid) or
                    now - last_request[0] > IDLE_LIMIT or now - started > LIFETIME):
                httpd.shutdown()
                return

    threading.Thread(target=watchdog, daemon=True).start()
    httpd.serve_forever(poll_interval=0.2)
    httpd.server_close()
    for c in fillers:
        c.close()
    hole.close()
    hello.close()
    closed.close()
    state = loopback_server.read_state(state_path)
    if state is not None and state.get('pid') == str(pid):
        os.remove(state_path)


def stop(state_path):
    # The watchdog ends a server that does not answer /__quit.
    return loopback_server.stop(state_path, quit_path='/__quit')


def start(state_path):
    return loopback_server.start(
        'scenario server', [sys.executable, os.path.abspath(__file__), 'serve', state_path], state_path,
        wait_seconds=20, quit_path='/__quit')


if __name__ == '__main__':
    if len(sys.argv) != 3 or sys.argv[1] not in ('start', 'stop', 'serve'):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    mode, path = sys.argv[1], os.path.abspath(sys.argv[2])
    if mode == 'serve':
        serve(path)
    else:
        sys.exit(start(path) if mode == 'start' else stop(path))
