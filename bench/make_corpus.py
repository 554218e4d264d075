#!/usr/bin/env python3
"""Copies a deterministic selection of this machine's files into a folder.

    make_corpus.py text|binary|large DEST

text: 44,000,000 bytes of text files taken in turn from /usr/include, /usr/share/perl,
/usr/lib/python3 and /usr/share/i18n, each folder in path order; binary: 20,000,000
bytes of ELF files from /usr/bin and /usr/lib/x86_64-linux-gnu; large: 300,000,000
bytes of any files below /usr/lib. The same machine always gives the same folder:
files are taken in sorted order, every copy gets the same time stamp.
"""
import os
import shutil
import sys

KINDS = {
    "text": (44_000_000, ["/usr/include", "/usr/share/perl", "/usr/lib/python3", "/usr/share/i18n"], 1 << 20),
    "binary": (20_000_000, ["/usr/bin", "/usr/lib/x86_64-linux-gnu"], 4 << 20),
    "large": (300_000_000, ["/usr/lib"], 16 << 20),
}
STAMP = 1_700_000_000


def wanted(kind, path):
    try:
        with open(path, "rb") as f:
            head = f.read(8192)
    except OSError:
        return False
    if kind == "text":
        return b"\0" not in head and "__pycache__" not in path
    if kind == "binary":
        return head.startswith(b"\x7fELF")
    return True


def files_below(root, limit):
    found = []
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            if os.path.getsize(path) <= limit:
                found.append(path)
    return found


def main():
    kind, dest = sys.argv[1], sys.argv[2]
    budget, roots, limit = KINDS[kind]
    queues = [iter(files_below(root, limit)) for root in roots]
    total = 0
    count = 0
    while total < budget and queues:
        for queue in list(queues):
            path = next(queue, None)
            if path is None:
                queues.remove(queue)
                continue
            if total >= budget or not wanted(kind, path):
                continue
            target = os.path.join(dest, path.lstrip("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(path, target)
            os.utime(target, (STAMP, STAMP))
            total += os.path.getsize(target)
            count += 1
    print(f"{count} files, {total} bytes")


if __name__ == "__main__":
    main()
