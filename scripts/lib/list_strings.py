#!/usr/bin/env python3
"""Lists the string-table blocks of a PE file per language, and the texts of
its menus and dialogs, read with llvm-readobj."""
import re
import subprocess
import sys


def blocks(path, type_id=6):
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
            in_strings = f"(ID {type_id})" in m.group(1)
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


def sz(data, pos):
    """A zero-terminated UTF-16 text at pos, and the position after it."""
    end = pos
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[pos:end].decode("utf-16-le", "replace"), end + 2


def menu_texts(data, pos=4):
    """The item texts of a MENU template (not MENUEX), in order."""
    while pos < len(data):
        flags = int.from_bytes(data[pos:pos + 2], "little")
        pos += 2 if flags & 0x10 else 4
        text, pos = sz(data, pos)
        if text:
            yield text
        if flags & 0x10:
            pos = yield from menu_texts(data, pos)
        if flags & 0x80:
            break
    return pos


def sz_or_ord(data, pos):
    if data[pos:pos + 2] == b"\xff\xff":
        return None, pos + 4
    return sz(data, pos)


def dialog_texts(data):
    """The caption and control texts of a DIALOGEX template."""
    count = int.from_bytes(data[16:18], "little")
    style = int.from_bytes(data[12:16], "little")
    _, pos = sz_or_ord(data, 26)  # menu
    _, pos = sz_or_ord(data, pos)  # class
    caption, pos = sz(data, pos)
    yield caption
    if style & 0x40:  # DS_SETFONT: size, weight, italic, charset, face
        _, pos = sz(data, pos + 6)
    for _ in range(count):
        pos = (pos + 3) & ~3
        _, pos = sz_or_ord(data, pos + 24)  # class, after help id .. id
        text, pos = sz_or_ord(data, pos)
        extra = int.from_bytes(data[pos:pos + 2], "little")
        pos += 2 + extra
        if text is not None:
            yield text


for name, lang, data in blocks(sys.argv[1]):
    print(f"  block #{name}, language 0x{lang:04X}")
    for slot, text in strings(data):
        print(f"    {slot:2}: {text!r}")
if "--ui" in sys.argv:
    for kind, type_id, texts in (("menu", 4, menu_texts), ("dialog", 5, dialog_texts)):
        for name, lang, data in blocks(sys.argv[1], type_id):
            print(f"  {kind} #{name}, language 0x{lang:04X}: " +
                  " | ".join(repr(t) for t in texts(data)))
