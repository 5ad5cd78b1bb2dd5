#!/usr/bin/env python3
"""serp-sim: a local search-engine simulator for tests and the offline demo.

  serp_sim.py serve [--corpus FILE] [--lifetime SEC] [--state FILE]
      listen on a loopback port chosen at run time, print "port=N", serve
      until the lifetime ends, the state file disappears, or stdin closes
      (only when --stdin-watch is given)
  serp_sim.py start STATE [--corpus FILE] [--lifetime SEC]
      start a server in the background and return once STATE names its port
  serp_sim.py stop STATE
      stop that server and remove STATE

Query URLs: /<engine>/s?<q|wd|query>=TEXT for engine baidu, sougou, bing,
360so or google. Every corpus passage (one per line) that contains TEXT,
or a substring within a few edits of it, becomes a result entry in that
engine's layout, with link, display URL, date and snippet.

A query without results gets the engine's "no results" page.

Scenario parameters on the query URL: mode=verify (Baidu's verification
page), nobody (no <body), empty, 403, 500, gzip (gzip body), block (the
engine's own block page: captcha, antispider, challenge, /sorry/),
block-redirect (a 302 to the engine's block URL, which answers with a
page that only its URL marks), unknown (a result layout no extractor
knows, holding the query), noresults (the engine's "no results" page
whatever the query), block-next, block-next-redirect and noresults-next (that
unknown layout's block page, a 302 to its block URL /<engine>/access-check
and its "no results" page); delay=MS answers after MS milliseconds; tag=NAME
counts the request under NAME when it arrives. A query that
begins with "~MODE~" selects MODE too (for definition files whose URL
format is fixed), and the marker is not part of the searched text.

/_last answers with the method, path and headers of the last search
request as JSON; /_count?tag=NAME with the number of requests that
arrived with that tag. A request carrying sid=NAME is also recorded under NAME:
/_queries?sid=NAME answers with the list of those requests (engine, path,
the raw query string and the decoded query), oldest first;
/_queries?sid=NAME&clear=1 empties the list after answering; format=hex
answers with one line per request instead: the engine and the decoded
query's UTF-8 bytes in hexadecimal.
"""

import gzip
import html
import http.server
import json
import os
import sys
import threading
import time
import urllib.parse

import loopback_server

DEFAULT_CORPUS = [
    "原创检测引擎把句子发送给搜索引擎并在结果页中查找它",
    "The quick brown fox jumps over the lazy dog near the river bank",
    "How vexingly quick daft zebras jump over the tall wooden fence",
    "今天北京的天气晴朗适合外出散步游玩",
]
MAX_EDITS = 3
ENGINES = ("baidu", "sougou", "bing", "360so", "google")

last_request = {}
tag_counts = {}  # tag -> requests, guarded by last_lock
recorded = {}  # sid -> [request], guarded by last_lock
last_lock = threading.Lock()
corpus = list(DEFAULT_CORPUS)


def within_edits(needle, text, k):
    """Whether some substring of text is within k edits of needle (Sellers)."""
    if not needle:
        return False
    if needle in text:
        return True
    m = len(needle)
    col = list(range(m + 1))
    for ch in text:
        prev_diag, col[0] = col[0], 0
        for i in range(1, m + 1):
            cur = min(col[i] + 1, col[i - 1] + 1, prev_diag + (needle[i - 1] != ch))
            prev_diag, col[i] = col[i], cur
        if col[m] <= k:
            return True
    return False


def results_for(query):
    q = query.strip()
    out = []
    for i, passage in enumerate(corpus):
        if within_edits(q, passage, MAX_EDITS if len(q) > 2 * MAX_EDITS else 0):
            host = "site%d.example.com" % (i + 1)
            out.append({
                "link": "http://%s/doc/%d.html" % (host, i + 1),
                "display": "%s/doc/%d.html" % (host, i + 1),
                "title": "Result %d" % (i + 1),
                "snippet": passage,
            })
    return out


def page(title, body):
    return ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>%s</title></head>'
            '<body>%s</body></html>' % (html.escape(title), body))


def render(engine, query, results):
    e = html.escape
    parts = []
    if engine == "baidu":
        parts.append('<div id="content_left">')
        for n, r in enumerate(results, 1):
            parts.append(
                '<div class="result c-container" id="%d"><h3 class="t"><a href="%s">%s</a></h3>'
                '<div class="c-abstract"><span class="newTimeFactor_before_abs">2019年5月13日&nbsp;-&nbsp;</span>%s</div>'
                '<div class="f13"><a class="c-showurl" href="%s">%s</a></div></div>'
                % (n, e(r["link"]), e(r["title"]), e(r["snippet"]), e(r["link"]), e(r["display"])))
        parts.append('</div>')
    elif engine == "360so":
        parts.append('<ul id="m-result" class="result">')
        for r in results:
            parts.append(
                '<li class="res-list"><h3 class="res-title"><a href="%s">%s</a></h3>'
                '<p class="res-desc">%s</p><p class="res-linkinfo"><cite>%s 2020-01-05&rsaquo;</cite></p></li>'
                % (e(r["link"]), e(r["title"]), e(r["snippet"]), e(r["display"])))
        parts.append('</ul>')
    elif engine == "bing":
        parts.append('<ol id="b_results">')
        for r in results:
            parts.append(
                '<li class="b_algo"><h2><a href="%s">%s</a></h2><div class="b_caption">'
                '<div class="b_attribution"><cite>%s 2020-01-05&middot;</cite></div><p>%s</p></div></li>'
                % (e(r["link"]), e(r["title"]), e(r["display"]), e(r["snippet"])))
        parts.append('</ol>')
    elif engine == "sougou":
        parts.append('<div class="results">')
        for r in results:
            parts.append(
                '<div class="rb"><h3 class="pt"><a name="dttl" href="%s">%s</a></h3>'
                '<div class="ft">%s</div><div class="fb"><cite>%s - 2019-5-13</cite></div></div>'
                % (e(r["link"]), e(r["title"]), e(r["snippet"]), e(r["display"])))
        parts.append('</div>')
    else:  # google: one group holding every result
        parts.append('<div id="search"><div class="srg">')
        for r in results:
            parts.append(
                '<div class="g"><div class="rc"><h3 class="r"><a href="%s">%s</a></h3>'
                '<cite>%s</cite><span class="st">%s</span></div></div>'
                % (e(r["link"]), e(r["title"]), e(r["display"]), e(r["snippet"])))
        parts.append('</div></div>')
    return page("%s - %s" % (query, engine), "".join(parts))


# Each engine's block page, in its own wording and markup.
BLOCK_PAGES = {
    "baidu": ('<!DOCTYPE html><html><head><meta charset="utf-8">'
              '<meta name="viewport" content="width=device-width,minimum-scale=1.0,maximum-scale=1.0">'
              '<title>百度安全验证</title></head><body><div class="timeout hide"><p>网络不给力，请稍后重试</p></div>'
              '<script src="https://wappass.baidu.com/static/captcha/tuxing.js"></script></body></html>'),
    "sougou": ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>搜狗搜索</title>'
               '<link rel="stylesheet" href="/static/css/anti.min.css"></head><body><div class="content-box">'
               '<p class="p1">您的访问出错了</p><p class="p2">用户您好，您的访问过于频繁，需要您协助验证。</p>'
               '<form name="authform" id="seccodeForm" method="post"><input id="seccodeInput" type="text">'
               '</form></div><script src="/static/js/antispider.min.js"></script></body></html>'),
    "360so": ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>360搜索</title>'
              '<script src="https://wappass.so.com/captcha.js"></script></head><body><div id="verify">'
              '<p>请输入验证码后继续访问</p></div></body></html>'),
    "bing": ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>Bing</title></head><body>'
             '<h1>One last step</h1><p>Please solve the challenge below to continue</p>'
             '<iframe src="/turing/captcha/challenge?q=x"></iframe></body></html>'),
    "google": ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>https://www.google.com/search?q=x</title>'
               '</head><body><form id="captcha-form" action="index" method="post"><div id="recaptcha" '
               'class="g-recaptcha"></div></form><div id="infoDiv">Our systems have detected unusual traffic '
               'from your computer network.</div></body></html>'),
}
BLOCK_STATUS = {"google": 429}
# Where each engine redirects a blocked client.
BLOCK_PATHS = {
    "baidu": "/baidu/static/captcha/tuxing.html?ak=serp-sim",
    "sougou": "/sougou/antispider/?from=serp-sim",
    "360so": "/360so/captcha?from=serp-sim",
    "bing": "/bing/turing/captcha/challenge?from=serp-sim",
    "google": "/google/sorry/index?continue=serp-sim",
}
# What a redirected client finds there: nothing in the text names a block.
NEUTRAL_PAGE = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>Please wait</title></head>'
                '<body><div id="app">Please wait</div></body></html>')


def no_results_page(engine, query):
    e = html.escape(query)
    if engine == "baidu":
        body = ('<div id="content_left"><div class="nors"><p>抱歉没有找到与<span>“</span><em>%s</em>'
                '<span>”</span>相关的网页。</p></div></div>' % e)
    elif engine == "sougou":
        body = ('<div class="results"></div><div id="noresult_part1_container"><p class="p1">'
                '抱歉，没有找到与“<em>%s</em>”相关的网页。</p></div>' % e)
    elif engine == "360so":
        body = '<div id="no-result"><p>抱歉，没有找到和“<em>%s</em>”相关的网页。</p></div>' % e
    elif engine == "bing":
        body = ('<ol id="b_results"><li class="b_no"><h1>There are no results for <strong>%s</strong></h1>'
                '<ul><li><span>Check your spelling or try different keywords</span></li></ul></li></ol>' % e)
    else:
        body = ('<div id="search"><div id="topstuff"><div class="card-section"><p>Your search - <em>%s</em> - '
                'did not match any documents.</p></div></div></div>' % e)
    return page("%s - %s" % (query, engine), body)


def unknown_layout_page(engine, query):
    # A layout no extractor knows, as if an engine had changed its page:
    # entries, links, citations (with a date in slashes) and snippets under
    # names of their own. Definition files with rules for it find the hit.
    return page("%s - %s" % (query, engine),
                '<main class="serp-next">'
                '<article class="hit"><a class="go" href="http://ad.example.com/">Sponsored</a>'
                '<div class="body">an advertisement</div></article>'
                '<article class="hit"><h2><a class="go" href="http://site.example.com/next">Result</a></h2>'
                '<span class="where">site.example.com/next 2021/03/04&middot;</span>'
                '<div class="body">%s</div></article></main>' % html.escape(query))


# The changed layout's own block and "no results" pages: no engine's
# compiled-in markers know them.
NEXT_BLOCK_PAGE = page("Access check", '<main class="serp-next"><p>Please confirm you are a person.</p></main>')


def next_no_results_page(query):
    return page("%s - search" % query,
                '<main class="serp-next"><p>Nothing on the web matches <b>%s</b>.</p></main>' % html.escape(query))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def send(self, status, body, gz=False, ctype="text/html; charset=utf-8"):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        if gz:
            data = gzip.compress(data)
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/_last":
            with last_lock:
                self.send(200, json.dumps(last_request, ensure_ascii=False), ctype="application/json")
            return
        if url.path == "/_count":
            tag = urllib.parse.parse_qs(url.query).get("tag", [""])[0]
            with last_lock:
                self.send(200, str(tag_counts.get(tag, 0)), ctype="text/plain")
            return
        tag = urllib.parse.parse_qs(url.query).get("tag", [""])[0]
        params = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        first = lambda k: params.get(k, [""])[0]
        if url.path == "/_queries":
            with last_lock:
                got = list(recorded.get(first("sid"), []))
                if first("clear"):
                    recorded.pop(first("sid"), None)
            if first("format") == "hex":
                # One line per request: engine, then the decoded query's
                # UTF-8 bytes in hexadecimal, for clients without JSON.
                body = "".join("%s %s\n" % (r["engine"], r["query"].encode("utf-8", "surrogatepass").hex())
                               for r in got)
                self.send(200, body, ctype="text/plain; charset=utf-8")
            else:
                self.send(200, json.dumps(got, ensure_ascii=False), ctype="application/json")
            return
        engine = url.path.strip("/").split("/")[0].lower()
        query = first("wd") or first("query") or first("q")
        with last_lock:
            if tag:
                tag_counts[tag] = tag_counts.get(tag, 0) + 1
            last_request.clear()
            last_request.update({"method": "GET", "path": self.path,
                                 "headers": {k: v for k, v in self.headers.items()}})
            if first("sid"):
                recorded.setdefault(first("sid"), []).append(
                    {"engine": engine, "path": url.path, "raw_query": url.query, "query": query})
        if engine not in ENGINES:
            self.send(404, page("not found", "<p>unknown engine</p>"))
            return
        if url.path.rstrip("/") != "/" + engine + "/s":
            # Where a block redirect leads.
            self.send(BLOCK_STATUS.get(engine, 200), NEUTRAL_PAGE)
            return
        delay = first("delay")
        if delay.isdigit():
            time.sleep(int(delay) / 1000.0)
        mode = first("mode")
        if query.startswith("~") and query.find("~", 1) > 0:
            end = query.find("~", 1)
            mode, query = query[1:end], query[end + 1:].lstrip()
        if mode == "block":
            self.send(BLOCK_STATUS.get(engine, 200), BLOCK_PAGES[engine])
        elif mode == "block-redirect":
            self.send_response(302)
            self.send_header("Location", BLOCK_PATHS[engine])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif mode == "unknown":
            self.send(200, unknown_layout_page(engine, query))
        elif mode == "noresults":
            self.send(200, no_results_page(engine, query))
        elif mode == "block-next":
            self.send(200, NEXT_BLOCK_PAGE)
        elif mode == "block-next-redirect":
            self.send_response(302)
            self.send_header("Location", "/%s/access-check?from=serp-sim" % engine)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif mode == "noresults-next":
            self.send(200, next_no_results_page(query))
        elif mode in ("403", "500"):
            self.send(int(mode), page("error", "<p>status %s</p>" % mode))
        elif mode == "verify":
            self.send(200, '<!DOCTYPE html><html><head><title>百度安全验证</title></head>'
                           '<body><p>请完成下方验证后继续操作</p></body></html>')
        elif mode == "nobody":
            self.send(200, "<html><head><title>no body</title></head><p>%s</p></html>" % html.escape(query))
        elif mode == "empty":
            self.send(200, "")
        else:
            results = results_for(query)
            body = render(engine, query, results) if results else no_results_page(engine, query)
            self.send(200, body, gz=(mode == "gzip"))


def serve(args):
    global corpus
    corpus_file = opt(args, "--corpus")
    if corpus_file:
        with open(corpus_file, encoding="utf-8") as f:
            corpus = [line.strip() for line in f if line.strip()]
    lifetime = float(opt(args, "--lifetime") or 1800)
    state = opt(args, "--state")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    port = server.server_address[1]
    if state:
        loopback_server.write_state(state, {"port": port, "pid": os.getpid()})
    print("port=%d" % port, flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    if "--stdin-watch" in args:
        def watch():
            sys.stdin.read()
            os._exit(0)
        threading.Thread(target=watch, daemon=True).start()
    end = time.monotonic() + lifetime
    while time.monotonic() < end:
        time.sleep(0.5)
        if state and not os.path.exists(state):
            break
    server.shutdown()


def opt(args, name):
    if name in args:
        i = args.index(name)
        if i + 1 < len(args):
            return args[i + 1]
    return None


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    cmd = argv[1]
    if cmd == "serve":
        serve(argv[2:])
        return 0
    if cmd == "start" and len(argv) >= 3:
        state = argv[2]
        return loopback_server.start(
            "serp-sim", [sys.executable, os.path.abspath(__file__), "serve", "--state", state] + argv[3:],
            state, wait_seconds=10, echo=True)
    if cmd == "stop" and len(argv) >= 3:
        return loopback_server.stop(argv[2])  # the server notices and ends within half a second
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
