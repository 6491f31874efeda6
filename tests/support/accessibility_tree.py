#!/usr/bin/env python3
"""accessibility_tree.py FILE...

What screen readers are given of each page: headless Chromium loads it and
hands over its accessibility tree through the DevTools protocol, spoken on
a pipe (--remote-debugging-pipe: commands on descriptor 3, answers on 4, each
JSON ended by a NUL). Prints a line a page: the count of each role among the
nodes not ignored, then each image's or table's name, as JSON.
Every wait is bounded: 60 s in all.
"""
import json
import os
import select
import subprocess
import sys
import tempfile
import time

deadline = time.monotonic() + 60
commands_read, commands = os.pipe()
answers, answers_written = os.pipe()
profile = tempfile.mkdtemp()
arguments = ["chromium", "--headless=new", "--disable-gpu", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile,
             "--remote-debugging-pipe", "about:blank"]
if os.geteuid() == 0:
    arguments.insert(1, "--no-sandbox")  # its sandbox refuses to start as root


def as_descriptors_3_and_4():
    os.dup2(commands_read, 3)
    os.dup2(answers_written, 4)


chromium = subprocess.Popen(arguments, pass_fds=(3, 4), preexec_fn=as_descriptors_3_and_4,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
os.close(commands_read)
os.close(answers_written)
pending = b""
events = []
last_id = 0


def message():
    global pending
    while b"\0" not in pending:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([answers], [], [], left)[0]:
            sys.exit("Chromium did not answer within 60 s")
        chunk = os.read(answers, 1 << 16)
        if not chunk:
            sys.exit("Chromium ended")
        pending += chunk
    text, pending = pending.split(b"\0", 1)
    return json.loads(text)


def call(method, params=None, session=None):
    global last_id
    last_id += 1
    command = {"id": last_id, "method": method, "params": params or {}}
    if session:
        command["sessionId"] = session
    os.write(commands, json.dumps(command).encode() + b"\0")
    while True:
        answer = message()
        if answer.get("id") == last_id:
            if "error" in answer:
                sys.exit(f"{method}: {answer['error']}")
            return answer["result"]
        events.append(answer)


def event(method):
    while True:
        for i, seen in enumerate(events):
            if seen.get("method") == method:
                return events.pop(i)
        events.append(message())


try:
    for page in sys.argv[1:]:
        target = call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        call("Page.enable", session=session)
        call("Page.navigate", {"url": "file://" + os.path.abspath(page)}, session=session)
        event("Page.loadEventFired")
        nodes = [node for node in call("Accessibility.getFullAXTree", session=session)["nodes"]
                 if not node.get("ignored")]
        roles, names = {}, []
        for node in nodes:
            role = node.get("role", {}).get("value", "")
            roles[role] = roles.get(role, 0) + 1
            if role in ("image", "img", "table"):
                names.append([role, node.get("name", {}).get("value", "")])
        print(json.dumps({"roles": roles, "names": names}), flush=True)
finally:
    chromium.kill()
    chromium.wait()
