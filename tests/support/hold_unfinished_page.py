#!/usr/bin/env python3
"""hold_unfinished_page.py FOLDER PID [open]

Says "watching" once it is, then waits, 30 s at most, until a new page
shows being written in FOLDER, and holds process PID still (SIGSTOP) the
moment it does. A page takes well under a second to write: less than
Python takes to start here, and too short for a shell loop to catch it and
then stop the program by chance. The caller stops the program its own way,
then sends SIGCONT.

The new page shows as a hidden .tilery-XXXXXX with bytes in it (Windows:
caught the moment it is made, before it is marked for deleting, a forced
end would leave it), or, with "open", as a file of no name in FOLDER that
PID holds open (Linux). Fails, saying why, when none shows.
"""
import os
import signal
import sys
import time

folder = os.path.realpath(sys.argv[1])
pid = int(sys.argv[2])
unnamed = len(sys.argv) > 3 and sys.argv[3] == "open"
print("watching", flush=True)


def running():
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except OSError:
        return False


def seen():
    if unnamed:
        fds = f"/proc/{pid}/fd"
        for fd in os.listdir(fds):
            try:
                if os.readlink(f"{fds}/{fd}").startswith(folder + "/#"):
                    return True
            except OSError:
                pass
        return False
    for entry in os.scandir(folder):
        try:
            if entry.name.startswith(".tilery-") and entry.stat().st_size > 0:
                return True
        except OSError:
            pass
    return False


deadline = time.monotonic() + 30
while time.monotonic() < deadline:
    try:
        if seen():
            os.kill(pid, signal.SIGSTOP)
            sys.exit(0)
    except OSError:
        pass
    if not running():
        sys.exit(f"process {pid} ended before a new page showed in {folder}: {os.listdir(folder)}")
    time.sleep(0.001)
sys.exit(f"no new page showed in {folder} in 30 s: {os.listdir(folder)}")
