#!/usr/bin/env python3
"""The call log page in a real browser: cdrd with records that are not yet
saved, cdrweb served by BusyBox httpd, headless Chromium driven over its
DevTools pipe, at a phone's width and a desktop's. Loads the page, clicks
"Flush", searches with the form, pages and downloads, and reads the
answers from the DOM.

    call_log_test.py CDRD CDRSEND CDRCTL CDRWEB SAMPLE_CONF

Runs in a private mount namespace (tmpfs over the daemon's fixed paths), so
it needs root; exit 77 (skipped) without it, 0 passed, 1 failed.
"""
import fcntl
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77


def private_paths():
    """Re-runs this script in a mount namespace of its own with tmpfs over
    the paths cdrd writes; returns only inside that namespace."""
    if os.environ.get("CALL_LOG_TEST_PRIVATE") == "1":
        for path in ("/tmp/logs", "/mnt/bbram", "/etc/kelt-conf"):
            os.makedirs(path, exist_ok=True)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64m,mode=0755", "tmpfs", path],
                           check=True)
        return
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("skipped: needs root for a private mount namespace")
        sys.exit(SKIP)
    env = dict(os.environ, CALL_LOG_TEST_PRIVATE="1")
    rc = subprocess.call(["unshare", "--mount", "--propagation", "private",
                          sys.executable] + sys.argv, env=env)
    sys.exit(rc)


class Browser:
    """Headless Chromium over --remote-debugging-pipe: JSON messages ended
    by a NUL byte, commands on the browser's fd 3, answers on its fd 4."""

    def __init__(self, profile):
        # Every end above fd 9, so that moving two to 3 and 4 clobbers none.
        high = lambda fd: (fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10), os.close(fd))[0]
        to_browser_r, self.to_browser = map(high, os.pipe())
        self.from_browser, from_browser_w = map(high, os.pipe())
        self.proc = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--user-data-dir=" + profile, "--remote-debugging-pipe", "about:blank"],
            # The pipe ends become fds 3 and 4 in the browser; the parent's
            # own ends are close-on-exec, so the browser keeps none of them.
            close_fds=False,
            preexec_fn=lambda: (os.dup2(to_browser_r, 3), os.dup2(from_browser_w, 4)),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.buffer = b""
        target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                chunk = os.read(self.from_browser, 65536)
                if not chunk:
                    raise RuntimeError("the browser went away")
                self.buffer += chunk
            text, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(text)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]

    def page(self, method, params=None):
        return self.call(method, params, self.session)

    def evaluate(self, expression):
        result = self.page("Runtime.evaluate",
                           {"expression": expression, "returnByValue": True,
                            "awaitPromise": True})
        return result["result"].get("value")

    def wait_for(self, expression, what, seconds=20):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError(f"gave up waiting for {what}")

    def close(self):
        self.proc.kill()
        self.proc.wait()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    cdrd, cdrsend, cdrctl, cdrweb, sample = sys.argv[1:6]
    private_paths()
    work = tempfile.mkdtemp(prefix="call-log-")
    conf = os.path.join(work, "conf")
    shutil.copytree(sample, conf)
    # Records stay unsaved until the flush the test clicks.
    settings = os.path.join(conf, "sysconfig", "general_settings.conf")
    with open(settings) as f:
        text = f.read()
    with open(settings, "w") as f:
        f.write(text.replace("_SAVE_INTERVAL=10", "_SAVE_INTERVAL=1000"))
    # cdrweb's actions and downloads are this build's cdrctl's.
    os.environ.update(KELT_PATH=conf + "/", MSGQ_DIR=os.path.join(work, "msgq"),
                      CDRWEB_CDRCTL=os.path.abspath(cdrctl))
    cgi = os.path.join(work, "www", "cgi-bin")
    os.makedirs(cgi)
    shutil.copy(cdrweb, cgi)
    port = free_port()
    daemon = subprocess.Popen([cdrd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    httpd = subprocess.Popen(["busybox", "httpd", "-f", "-p", f"127.0.0.1:{port}",
                              "-h", os.path.join(work, "www")])
    browser = None
    failures = []

    def check(ok, what):
        print(("ok: " if ok else "FAILED: ") + what)
        if not ok:
            failures.append(what)

    def rows():
        return browser.evaluate(
            "[...document.querySelectorAll('main tbody tr')].map(r =>"
            " [...r.cells].map(c => c.textContent))")

    def load(url, what):
        browser.page("Page.navigate", {"url": url})
        browser.wait_for("document.readyState == 'complete' && location.href == "
                         + json.dumps(url), what)

    def fits(width):
        """Nothing reaches past the right edge but inside a table that
        scrolls sideways."""
        browser.page("Emulation.setDeviceMetricsOverride",
                     {"width": width, "height": 800, "deviceScaleFactor": 1,
                      "mobile": width < 600})
        cut = browser.evaluate(
            "[...document.body.querySelectorAll('*')].filter(e => !e.closest('.wide') &&"
            " e.getBoundingClientRect().right > document.documentElement.clientWidth + 1)"
            ".map(e => e.tagName + ' ' + e.textContent.slice(0, 40))")
        check(cut == [], f"at {width} px nothing is cut off at the right: {cut}")

    try:
        subprocess.run([cdrctl, "ready"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([cdrsend, "--random", "60", "--seed", "3"], check=True,
                       stdout=subprocess.DEVNULL)
        hostile = '<script>alert(1)</script>"><img src=x onerror=alert(2)>'
        subprocess.run([cdrsend, "--kind", "stated", "--caller", hostile, "--called", "201",
                        "--duration", "3725", "--stat", "tx_pkt=100", "--stat", "tx_enc=8",
                        "--stat", "rx_pkt=99", "--stat", "rx_enc=0"], check=True)
        long_name = "Conference-room-" + "x" * 100 + "@sip.example.net"
        subprocess.run([cdrsend, "--kind", "stated", "--caller", long_name, "--called", "202",
                        "--stat", "tx_pkt=2100", "--stat", "tx_enc=8"], check=True)
        browser = Browser(os.path.join(work, "profile"))
        base = f"http://127.0.0.1:{port}/cgi-bin/cdrweb"
        for width in (390, 1280):
            browser.page("Emulation.setDeviceMetricsOverride",
                         {"width": width, "height": 800, "deviceScaleFactor": 1,
                          "mobile": width < 600})
            load(base + "?db=stated", f"the stated calls at {width} px")
            fits(width)
        summary = browser.evaluate("document.querySelector('main p').innerText")
        check("stated: 22 records" in summary, f"records not yet saved are listed: {summary!r}")
        found = rows()
        check(found and found[0][4] == long_name and found[0][6] == "PCMA: 2100 sent",
              f"a stream that only sent shows only that: {found and found[0]}")
        check(browser.evaluate("document.querySelector('button[value=download-now]')") is None,
              "no Download now while download is off")

        browser.evaluate("document.querySelector('button[value=flush]').click()")
        answer = browser.wait_for(
            "document.readyState == 'complete' && document.getElementById('answer') &&"
            "document.getElementById('answer').innerText", "the answer to Flush")
        check(answer == "Flushed the stated calls database.", f"the answer reads {answer!r}")
        found = rows()
        check(found is not None and len(found) == 22, f"22 rows after the flush: {found}")
        if found and len(found) == 22:
            check(found[1][:6] == ["stated", "20", found[1][2], "1:02:05", hostile, "201"],
                  f"newest first, the caller as text: {found[1]}")
            check(found[1][6] == "PCMA: 100 sent, PCMU: 99 received, 0 lost",
                  f"the media of the call: {found[1][6]!r}")
        check(browser.evaluate("document.scripts.length + document.images.length") == 0,
              "no script or image came from a caller's name")
        check("0 not yet saved" in browser.evaluate("document.querySelector('.status').innerText"),
              "the status panel shows nothing left unsaved")

        # Search from the form: every database, by a part of the callers' names.
        browser.evaluate("document.querySelector('select[name=db]').value = 'all';"
                         "document.querySelector('input[name=party]').value = 'EXAMPLE.net';"
                         "document.querySelector('form.terms button').click()")
        browser.wait_for("location.search.includes('party=EXAMPLE.net') &&"
                         "document.readyState == 'complete'", "the search's page")
        summary = browser.evaluate("document.querySelector('main p').innerText")
        check("; 61 matches" in summary, f"the search finds 61 calls: {summary!r}")
        check(len(rows()) == 50, "a page holds 50")
        browser.evaluate("document.querySelector('a[rel=next]').click()")
        browser.wait_for("location.search.includes('page=2') && document.readyState == 'complete'",
                         "the second page")
        check("party=EXAMPLE.net" in browser.evaluate("location.search"),
              "paging keeps the search in the address")
        found = rows()
        check(len(found) == 11 and all("example.net" in r[4].lower() for r in found),
              f"the second page holds the other 11 matches: {found}")
        fits(390)
        # Clicked as a person would: the browser saves the file.
        downloads = os.path.join(work, "downloads")
        browser.call("Browser.setDownloadBehavior",
                     {"behavior": "allow", "downloadPath": downloads})
        browser.evaluate("document.querySelector('a[download]').click()")
        saved = os.path.join(downloads, "calls-all.csv")
        deadline = time.time() + 20
        while not os.path.exists(saved) and time.time() < deadline:
            time.sleep(0.1)
        csv = open(saved, encoding="utf-8", newline="").read() if os.path.exists(saved) else ""
        lines = csv.split("\r\n") if csv else []
        check(len(lines) == 63 and lines[0].startswith("kind,ID,ST,dur,called,caller,"),
              f"the download holds the 61 matches: {lines[:2]}")
        check(sum(",'+49" in line for line in lines) == 60 and ",+49" not in csv,
              "called numbers are guarded for a spreadsheet")
    except (AssertionError, RuntimeError, subprocess.CalledProcessError) as e:
        failures.append(str(e))
        print("FAILED:", e)
    finally:
        if browser:
            browser.close()
        for proc in (httpd, daemon):
            proc.kill()
            proc.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
