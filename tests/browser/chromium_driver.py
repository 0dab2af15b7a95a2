#!/usr/bin/python3
"""Drives Debian's chromium over the DevTools protocol for the browser tests.

Starts it headless with the profile and the unpacked extension, waits for the
extension's service worker, opens the page, clicks the link and follows the
browser's download until it ends. Prints one JSON object of strings: "ended"
(completed, canceled, running, or none when no download began), "listed"
(how many downloads the browser's list holds, as the extension sees it) and
"files" (the download folder's names, blank-separated); or "error". Every
wait has a deadline.
"""
import base64
import hashlib
import json
import os
import time

import websocket

from driver_common import folder_names, main, poll, start, stop

CHROMIUM = "/usr/lib/chromium/chromium"
# Off the network (no component updates, sync or other calls home), as
# root without the sandbox, and with --load-extension kept working where a
# build turns it off by default.
FLAGS = ["--headless=new", "--no-sandbox", "--remote-debugging-port=0", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync", "--disable-gpu",
         "--disable-quic", "--disable-features=DisableLoadExtensionCommandLineSwitch"]

# The extension's worker has run its script: chrome and the listener exist.
LISTENING = "globalThis.chrome?.downloads?.onCreated?.hasListeners() ?? false"


class DevTools:
    """One websocket to the browser; flat sessions carry the targets' traffic."""

    def __init__(self, url):
        self.socket = websocket.create_connection(url, timeout=5)
        self.next_id = 0
        self.events = []

    def call(self, method, params=None, session=None, timeout=10):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.socket.send(json.dumps(message))
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            reply = self.receive(deadline)
            if reply is None:
                continue
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)
        raise TimeoutError(method)

    def receive(self, deadline):
        self.socket.settimeout(max(0.05, min(1.0, deadline - time.monotonic())))
        try:
            return json.loads(self.socket.recv())
        except websocket.WebSocketTimeoutException:
            return None

    def wait_event(self, name, deadline, accept=lambda params: True):
        while time.monotonic() < deadline:
            for event in self.events:
                if event.get("method") == name and accept(event["params"]):
                    self.events.remove(event)
                    return event["params"]
            event = self.receive(deadline)
            if event is not None:
                self.events.append(event)
        return None

    def evaluate(self, session, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result.get("result", {}).get("value")


def start_browser(args):
    port_file = os.path.join(args.profile, "DevToolsActivePort")
    if os.path.exists(port_file):
        os.remove(port_file)
    os.makedirs(args.profile, exist_ok=True)
    command = [CHROMIUM, *FLAGS, f"--user-data-dir={args.profile}", f"--load-extension={args.extension}",
               "about:blank"]
    return start(command, os.path.join(args.profile, "chromium.log"))


def browser_socket(args, deadline):
    def read_port():
        try:
            with open(os.path.join(args.profile, "DevToolsActivePort")) as f:
                lines = f.read().split("\n")
            return lines if len(lines) >= 2 and lines[1] else None
        except OSError:
            return None
    lines = poll(deadline, read_port)
    if not lines:
        raise TimeoutError("chromium did not open its DevTools port")
    return f"ws://127.0.0.1:{lines[0]}{lines[1]}"


def extension_id(folder):
    """The ID the manifest's key gives: the first 32 hex digits of the key's
    SHA-256, written with the letters a to p."""
    with open(os.path.join(folder, "manifest.json")) as f:
        key = base64.b64decode(json.load(f)["key"])
    return "".join(chr(ord("a") + int(digit, 16)) for digit in hashlib.sha256(key).hexdigest()[:32])


def extension_worker(devtools, args, deadline):
    origin = f"chrome-extension://{extension_id(args.extension)}/"

    def find():
        for target in devtools.call("Target.getTargets")["targetInfos"]:
            if target["type"] == "service_worker" and target["url"].startswith(origin):
                return target
        return None
    target = poll(deadline, find, 0.2)
    if not target:
        raise TimeoutError("the extension's service worker did not start")
    worker = devtools.call("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True})["sessionId"]
    if not poll(deadline, lambda: devtools.evaluate(worker, LISTENING)):
        raise TimeoutError("the extension did not start listening for downloads")
    return worker


def click(devtools, args, deadline):
    page = devtools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
    session = devtools.call("Target.attachToTarget", {"targetId": page, "flatten": True})["sessionId"]
    devtools.call("Page.enable", session=session)
    devtools.call("Page.navigate", {"url": args.page}, session)
    if devtools.wait_event("Page.loadEventFired", deadline) is None:
        raise TimeoutError(f"{args.page} did not load")
    selector = json.dumps(f'a[href="{args.link}"]')
    if not devtools.evaluate(session, f"(a => a ? (a.click(), true) : false)(document.querySelector({selector}))"):
        raise RuntimeError(f"no link to {args.link} on the page")


def follow_download(devtools, worker, args, deadline):
    report = {"ended": "none", "listed": "0"}
    begun = devtools.wait_event("Browser.downloadWillBegin", deadline)
    if not begun:
        return report
    ended = devtools.wait_event("Browser.downloadProgress", deadline,
                                lambda p: p["guid"] == begun["guid"] and p["state"] != "inProgress")
    report["ended"] = ended["state"] if ended else "running"
    count = "chrome.downloads.search({}).then(list => list.length)"
    # The extension erases a download just after cancelling it, and the
    # browser removes the partial file a moment later.
    if report["ended"] == "canceled":
        settle = min(deadline, time.monotonic() + 5)
        poll(settle, lambda: devtools.evaluate(worker, count) == 0)
        poll(settle, lambda: not os.listdir(args.downloads))
    report["listed"] = str(devtools.evaluate(worker, count))
    return report


def run(args):
    deadline = time.monotonic() + args.timeout
    browser = start_browser(args)
    try:
        devtools = DevTools(browser_socket(args, deadline))
        devtools.call("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": args.downloads,
                                                      "eventsEnabled": True})
        worker = extension_worker(devtools, args, deadline)
        click(devtools, args, deadline)
        report = follow_download(devtools, worker, args, deadline)
        report["files"] = folder_names(args.downloads)
        try:
            devtools.call("Browser.close", timeout=3)
        except (TimeoutError, RuntimeError, OSError, websocket.WebSocketException):
            pass
        return report
    finally:
        stop(browser)


if __name__ == "__main__":
    main(run)
