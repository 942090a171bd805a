#!/usr/bin/env python3
"""Seeds for the language server fuzzer (fuzz/fuzz_lsp.cpp) from the protocol tests' transcripts.

Run the protocol tests with VORN_LSP_RECORD=<folder> set: each client writes what it sent,
framed, into a file of that folder. This script cuts each transcript into its message bodies,
writes the test's project folder (the rootUri of its initialize) as @ROOT@, and encodes each
body as the fuzzer reads a raw message: the byte 0xF0, the length in two bytes (low first),
the body. Bodies longer than 65535 bytes are left out, and so is what comes after the
session's 96th message or past 64 KB. Usage: make_lsp_seeds.py RECORD_FOLDER OUT_FOLDER
"""

import hashlib
import json
import os
import re
import sys

MAX_MESSAGES = 96
MAX_SEED = 64 << 10
RAW = 0xF0
HEADER = re.compile(rb"Content-Length: *(\d+)\r\n", re.IGNORECASE)


def bodies(data):
    at = 0
    while True:
        header = HEADER.search(data, at)
        if not header:
            return
        start = data.find(b"\r\n\r\n", header.start())
        if start < 0:
            return
        start += 4
        length = int(header.group(1))
        yield data[start:start + length]
        at = start + length


def root_of(messages):
    for body in messages:
        try:
            message = json.loads(body)
        except ValueError:
            continue
        if isinstance(message, dict) and message.get("method") == "initialize":
            root = (message.get("params") or {}).get("rootUri") or ""
            if isinstance(root, str) and root.startswith("file://"):
                return root[len("file://"):].encode("utf-8")
    return None


def seed_of(data):
    messages = list(bodies(data))
    root = root_of(messages)
    out = bytearray()
    for body in messages[:MAX_MESSAGES]:
        if root:
            body = body.replace(root, b"@ROOT@")
        if len(body) > 0xFFFF or len(out) + 3 + len(body) > MAX_SEED:
            continue
        out += bytes([RAW, len(body) & 0xFF, len(body) >> 8]) + body
    return bytes(out)


def main():
    record, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    made = 0
    for name in sorted(os.listdir(record)):
        with open(os.path.join(record, name), "rb") as f:
            seed = seed_of(f.read())
        if not seed:
            continue
        with open(os.path.join(out, hashlib.sha1(seed).hexdigest()[:16]), "wb") as f:
            f.write(seed)
        made += 1
    print("make_lsp_seeds: %d seeds in %s" % (made, out))


if __name__ == "__main__":
    main()
