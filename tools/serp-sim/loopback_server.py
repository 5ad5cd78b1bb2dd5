"""Start and stop for the loopback test servers (serp-sim and the HTTP
scenario server), which share one protocol:

  * `serve` runs the server in the foreground; once it listens it writes a
    state file of "key=value" lines (at least port and pid), whole or not
    at all (written beside it, then renamed);
  * `start STATE` runs `serve` in a session of its own and returns once
    STATE can be read;
  * `stop STATE` removes STATE, which the server watches and ends on, after
    asking it to quit over HTTP where it offers a path for that.

Standard library only: the tests and the offline demo run it on a bare
Python 3.
"""

import os
import subprocess
import sys
import time
import urllib.request


def read_state(path):
    """The state file's fields, or None while it cannot be read."""
    try:
        with open(path) as f:
            return dict(line.strip().split('=', 1) for line in f if '=' in line)
    except OSError:
        return None


def write_state(path, fields):
    """Writes fields (in their order) so that a reader never sees half."""
    tmp = path + '.tmp'
    with open(tmp, 'w') as f:
        f.write(''.join('%s=%s\n' % (k, v) for k, v in fields.items()))
    os.replace(tmp, path)


def stop(state_path, quit_path=None):
    """Ends the server that state_path names; a server that does not answer
    quit_path ends on its own once the file is gone."""
    state = read_state(state_path)
    if state is None:
        return 0
    if quit_path and 'port' in state:
        try:
            opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
            opener.open('http://127.0.0.1:%s%s' % (state['port'], quit_path), timeout=5).read()
        except OSError:
            pass
    try:
        os.remove(state_path)
    except OSError:
        pass
    return 0


def start(name, serve_command, state_path, wait_seconds, quit_path=None, echo=False):
    """Stops any server left on state_path, runs serve_command detached and
    waits until it has written state_path. Returns a process exit code."""
    stop(state_path, quit_path)
    proc = subprocess.Popen(serve_command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    deadline = time.monotonic() + wait_seconds
    while time.monotonic() < deadline:
        state = read_state(state_path)
        if state is not None:
            if echo:
                print('\n'.join('%s=%s' % kv for kv in state.items()))
            return 0
        if proc.poll() is not None:
            print('%s exited with %d' % (name, proc.returncode), file=sys.stderr)
            return 1
        time.sleep(0.05)
    print('%s did not start' % name, file=sys.stderr)
    proc.kill()
    return 1
