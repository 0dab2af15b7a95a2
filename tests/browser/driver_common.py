"""What the browser drivers share: bounded waits, the command line, the
report printed at the end, and stopping the browser."""
import argparse
import json
import os
import subprocess
import sys
import time


def poll(deadline, probe, pause=0.1):
    """The probe's first true value before the deadline, else None."""
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(pause)
    return None


def start(command, log_path, env=None):
    log = open(log_path, "w")
    return subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, env=env)


def stop(browser):
    """Waits a moment for the browser asked to quit, then kills it."""
    try:
        browser.wait(timeout=5)
    except subprocess.TimeoutExpired:
        browser.kill()
        browser.wait()


def folder_names(folder):
    return " ".join(sorted(os.listdir(folder)))


def main(run):
    """Parses the drivers' command line, runs `run(args)` and prints its
    report, or the error that ended it."""
    parser = argparse.ArgumentParser()
    for name in ("profile", "extension", "downloads", "page", "link"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("--timeout", type=float, default=60)
    args = parser.parse_args()
    try:
        print(json.dumps(run(args)))
    except Exception as error:
        print(json.dumps({"error": f"{type(error).__name__}: {error}"}))
        sys.exit(1)
