#!/usr/bin/env python3
"""Fails when a tracked text file holds a control character other than tab
and line feed, or a carriage return outside a Windows file (where it may
only end a line). Such a character is invisible in most editors and turns
into garbage on the page, as "\\b" once did in a path of the README.

Usage: control_characters.py SOURCE_DIR"""
import fnmatch
import os
import subprocess
import sys

# Data, not text: the fuzzers' recorded replies are raw HID reports, and
# pictures are pictures.
DATA = ["fuzz/corpus/reply/*", "fuzz/corpus/lock_record/*", "*.png", "*.bmp", "*.ico", "*.msi", "*.zip"]
# Files that Windows programs read, or that stand for such files: a
# carriage return may end their lines.
WINDOWS = ["*.ini", "*.rc", "*.bat", "*.cmd", "fuzz/corpus/sim_config/*"]


def tracked_files(root):
    try:
        listing = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                                 capture_output=True).stdout
        return [name for name in listing.decode("utf-8").split("\0") if name]
    except (OSError, subprocess.CalledProcessError):
        # A copy without its history: every file outside the build trees.
        names = []
        for folder, subfolders, files in os.walk(root):
            subfolders[:] = [s for s in subfolders
                             if not s.startswith(("build", ".git", "dist"))]
            names += [os.path.relpath(os.path.join(folder, f), root) for f in files]
        return names


def matches(name, patterns):
    return any(fnmatch.fnmatch(name, p) for p in patterns)


def faults(data, windows):
    """(line, character) of every forbidden control character."""
    found = []
    line = 1
    for i, byte in enumerate(data):
        if byte == 0x0A:
            line += 1
        elif byte == 0x0D and windows and data[i + 1:i + 2] == b"\n":
            continue
        elif byte < 0x20 and byte != 0x09 or byte == 0x7F:
            found.append((line, byte))
    return found


def main():
    root = sys.argv[1]
    bad = 0
    for name in tracked_files(root):
        if matches(name, DATA):
            continue
        path = os.path.join(root, name)
        if not os.path.isfile(path) or os.path.islink(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        if b"\0" in data:
            continue  # binary
        for line, byte in faults(data, matches(name, WINDOWS))[:5]:
            print(f"{name}:{line}: control character 0x{byte:02X}")
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
