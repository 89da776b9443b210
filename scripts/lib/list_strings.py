#!/usr/bin/env python3
"""Lists the string-table blocks of a PE file per language, read with llvm-readobj."""
import re
import subprocess
import sys


def blocks(path):
    dump = subprocess.run(["llvm-readobj", "--coff-resources", path],
                          check=True, capture_output=True, text=True).stdout
    in_strings = False
    name = lang = None
    data = bytearray()
    reading = False
    for line in dump.splitlines():
        s = line.strip()
        m = re.match(r"Type: (.*) \[", s)
        if m:
            in_strings = "(ID 6)" in m.group(1)
            continue
        if not in_strings:
            continue
        m = re.match(r"Name: .*\(ID (\d+)\)|Name: (\S+)", s)
        if m and not reading:
            name = m.group(1) or m.group(2)
            continue
        m = re.match(r"Language: \(ID (\d+)\)", s)
        if m:
            lang = int(m.group(1))
            continue
        if s == "Data (":
            reading, data = True, bytearray()
            continue
        if reading and s == ")":
            reading = False
            yield name, lang, bytes(data)
            continue
        if reading:
            hexpart = s.split(":", 1)[1].split("|")[0]
            for word in hexpart.split():
                data += bytes.fromhex(word)


def strings(data):
    pos, slot = 0, 0
    while pos + 2 <= len(data):
        n = int.from_bytes(data[pos:pos + 2], "little")
        text = data[pos + 2:pos + 2 + 2 * n].decode("utf-16-le", "replace")
        if n:
            yield slot, text
        pos += 2 + 2 * n
        slot += 1


for name, lang, data in blocks(sys.argv[1]):
    print(f"  block #{name}, language 0x{lang:04X}")
    for slot, text in strings(data):
        print(f"    {slot:2}: {text!r}")
