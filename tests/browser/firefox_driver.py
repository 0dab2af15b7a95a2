#!/usr/bin/python3
"""Drives Debian's firefox-esr over Marionette for the browser tests.

Starts it headless with the profile, whose prefs send downloads to the
download folder without asking, installs the add-on as a temporary one,
waits until its background script runs, opens the page, clicks the link and
follows the browser's download until it ends. Prints one JSON object of
strings, as chromium_driver.py does. Every wait has a deadline. Firefox
looks for the host's manifest under $HOME/.mozilla.
"""
import json
import os
import socket
import time

from driver_common import folder_names, main, poll, start, stop

FIREFOX = "/usr/lib/firefox-esr/firefox-esr"
ADDON_ID = "kestrion@morvane.com"

PREFS = {
    "marionette.port": 0,  # any free port, written to MarionetteActivePort
    "browser.download.folderList": 2,
    "browser.download.useDownloadDir": True,
    "browser.download.always_ask_before_handling_new_types": False,
    "browser.download.alwaysOpenPanel": False,
    "browser.download.panel.shown": True,
    "browser.download.start_downloads_in_tmp_dir": False,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.page": 0,
    "extensions.update.enabled": False,
    "app.update.disabledForTesting": True,
}

# The browser's download list, from its chrome.
DOWNLOADS = """
return (async () => {
  const { Downloads } = ChromeUtils.importESModule("resource://gre/modules/Downloads.sys.mjs");
  const list = await Downloads.getList(Downloads.ALL);
  return (await list.getAll()).map(d => ({succeeded: d.succeeded, canceled: d.canceled, stopped: d.stopped}));
})();
"""

BACKGROUND_RUNS = f"""
const policy = WebExtensionPolicy.getByID({json.dumps(ADDON_ID)});
return !!policy && !!policy.extension && policy.extension.backgroundState === "running";
"""


class Marionette:
    """Marionette's protocol: "LENGTH:JSON" frames; a command is
    [0, id, name, params], its reply [1, id, error, result]."""

    def __init__(self, port, timeout):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.buffer = b""
        self.next_id = 0
        self.read()  # the greeting

    def read(self):
        while b":" not in self.buffer:
            self.fill()
        length, _, rest = self.buffer.partition(b":")
        self.buffer = rest
        while len(self.buffer) < int(length):
            self.fill()
        frame, self.buffer = self.buffer[:int(length)], self.buffer[int(length):]
        return json.loads(frame)

    def fill(self):
        data = self.socket.recv(65536)
        if not data:
            raise ConnectionError("marionette closed the connection")
        self.buffer += data

    def call(self, name, params=None):
        self.next_id += 1
        data = json.dumps([0, self.next_id, name, params or {}]).encode()
        self.socket.sendall(str(len(data)).encode() + b":" + data)
        while True:
            reply = self.read()
            if reply[0] == 1 and reply[1] == self.next_id:
                if reply[2]:
                    raise RuntimeError(f"{name}: {reply[2]}")
                return reply[3]

    def script(self, body, context):
        self.call("Marionette:SetContext", {"value": context})
        return self.call("WebDriver:ExecuteScript", {"script": body, "args": []}).get("value")


def start_browser(args):
    os.makedirs(args.profile, exist_ok=True)
    port_file = os.path.join(args.profile, "MarionetteActivePort")
    if os.path.exists(port_file):
        os.remove(port_file)
    prefs = dict(PREFS, **{"browser.download.dir": args.downloads})
    with open(os.path.join(args.profile, "user.js"), "w") as f:
        for name, value in prefs.items():
            f.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
    command = [FIREFOX, "--headless", "--marionette", "--remote-allow-system-access", "--no-remote", "--profile",
               args.profile]
    return start(command, os.path.join(args.profile, "firefox.log"), dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1"))


def marionette_port(args, deadline):
    def read_port():
        try:
            with open(os.path.join(args.profile, "MarionetteActivePort")) as f:
                return int(f.read().strip() or 0)
        except (OSError, ValueError):
            return None
    port = poll(deadline, read_port)
    if not port:
        raise TimeoutError("firefox did not open its Marionette port")
    return port


def click(marionette, args, deadline):
    marionette.call("Addon:Install", {"path": args.extension, "temporary": True})
    if not poll(deadline, lambda: marionette.script(BACKGROUND_RUNS, "chrome")):
        raise TimeoutError("the add-on's background did not start")
    marionette.call("Marionette:SetContext", {"value": "content"})
    marionette.call("WebDriver:Navigate", {"url": args.page})
    selector = json.dumps(f'a[href="{args.link}"]')
    if not marionette.script(f"const a = document.querySelector({selector}); if (a) a.click(); return !!a;",
                             "content"):
        raise RuntimeError(f"no link to {args.link} on the page")


def follow_download(marionette, deadline):
    def listing():
        return marionette.script(DOWNLOADS, "chrome")

    # A download the extension cancels may leave the list before it is seen
    # to stop: an empty list has settled too.
    def settled():
        now = listing()
        return [now] if all(d["stopped"] for d in now) else None

    report = {"ended": "none", "listed": "0"}
    if not poll(deadline, listing):
        return report
    found = poll(deadline, settled)
    if not found:
        report["ended"] = "running"
    elif not found[0] or any(d["canceled"] for d in found[0]):
        report["ended"] = "canceled"
        poll(min(deadline, time.monotonic() + 3), lambda: listing() == [])
    elif all(d["succeeded"] for d in found[0]):
        report["ended"] = "completed"
    else:
        report["ended"] = "failed"
    report["listed"] = str(len(listing()))
    return report


def run(args):
    deadline = time.monotonic() + args.timeout
    browser = start_browser(args)
    try:
        marionette = Marionette(marionette_port(args, deadline), args.timeout)
        marionette.call("WebDriver:NewSession", {"capabilities": {}})
        click(marionette, args, deadline)
        report = follow_download(marionette, deadline)
        report["files"] = folder_names(args.downloads)
        try:
            marionette.call("Marionette:Quit", {"flags": ["eForceQuit"]})
        except (RuntimeError, OSError):
            pass
        return report
    finally:
        stop(browser)


if __name__ == "__main__":
    main(run)
