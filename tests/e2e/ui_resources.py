#!/usr/bin/python3
"""Compares the user-interface resources of a program before and after a
translation, reading them with its own parsers of the formats, so that the
check owes nothing to the code under test: pefile finds the resource leaves,
this script reads menus, dialogs, version info, message tables and string
tables byte by byte.

Usage: ui_resources.py ORIGINAL RESULT NEUTRAL TYPES LANG...

NEUTRAL is the language id (hex) the original's neutral resources carry;
TYPES the comma-separated numeric resource types that were to be translated
(6 string tables, 4 menus, 5 dialogs, 16 version info, 11 message tables);
each LANG a destination's language id in hex.

A resource of a translated type in the neutral language must be gone from
RESULT and be there once per destination with the same structure: every
id, flag, state, style, coordinate, class, font, creation datum, help id,
the fixed file info, the message ids, the untranslated version values; only
texts and language ids may differ, and a version resource keeps one string
table, keyed by its language and code page 1200, as its Translation says.
Every other resource must be there unchanged, bytes and language.

Prints one line per resource copy, by type, name and language ("4/101/0007
same structure", "3/1/0409 kept"), or what differs; exits 1 when anything
differs."""

import struct
import sys

import pefile

TRANSLATED_VERSION_VALUES = {"FileDescription", "ProductName", "Comments", "LegalCopyright",
                             "LegalTrademarks"}


class Malformed(Exception):
    pass


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.at + size > len(self.data):
            raise Malformed("truncated at %d" % self.at)
        values = struct.unpack_from(fmt, self.data, self.at)
        self.at += size
        return values if len(values) > 1 else values[0]

    def word(self):
        return self.take("<H")

    def dword(self):
        return self.take("<I")

    def bytes(self, count):
        if self.at + count > len(self.data):
            raise Malformed("truncated at %d" % self.at)
        out = self.data[self.at:self.at + count]
        self.at += count
        return out

    def text(self):
        units = []
        while True:
            unit = self.word()
            if unit == 0:
                return "".join(map(chr, units))
            units.append(unit)

    def name_or_ordinal(self):
        first = self.word()
        if first == 0:
            return None
        if first == 0xFFFF:
            return ("ordinal", self.word())
        self.at -= 2
        return ("text", self.text())

    def align(self, boundary):
        self.at += (-self.at) % boundary

    def done(self):
        return self.at >= len(self.data)


def menu(data):
    """(structure, texts) of a MENU or MENUEX template."""
    r = Reader(data)
    version, offset = r.word(), r.word()
    if version == 0:
        r.bytes(offset)
        return standard_menu_items(r, 0)
    if version != 1:
        raise Malformed("menu version %d" % version)
    help_id = r.dword()
    r.bytes(offset - 4)
    structure, texts = extended_menu_items(r, 0)
    return [("help", help_id)] + structure, texts


def standard_menu_items(r, depth):
    structure, texts = [], []
    while True:
        flags = r.word()
        item_id = None if flags & 0x10 else r.word()
        text = r.text()
        # A separator is the item with id 0, no flags and no text.
        if flags & 0x10 or text or item_id != 0 or flags & ~0x80:
            texts.append(text)
            structure.append((depth, flags, item_id, "text"))
        else:
            structure.append((depth, flags, item_id, "separator"))
        if flags & 0x10:
            inner, inner_texts = standard_menu_items(r, depth + 1)
            structure += inner
            texts += inner_texts
        if flags & 0x80:
            return structure, texts
        if depth > 16:
            raise Malformed("nested too deeply")


def extended_menu_items(r, depth):
    structure, texts = [], []
    while True:
        r.align(4)
        kind, state, item_id, resinfo = r.take("<IIIH")
        text = r.text()
        r.align(4)
        help_id = r.dword() if resinfo & 0x01 else None
        if kind & 0x800:
            if text:
                raise Malformed("a separator with a text")
            structure.append((depth, kind, state, item_id, resinfo, help_id, "separator"))
        else:
            texts.append(text)
            structure.append((depth, kind, state, item_id, resinfo, help_id, "text"))
        if resinfo & 0x01:
            inner, inner_texts = extended_menu_items(r, depth + 1)
            structure += inner
            texts += inner_texts
        if resinfo & 0x80:
            return structure, texts
        if depth > 16:
            raise Malformed("nested too deeply")


def titled(value, texts):
    """A caption or control text: a string is a text, an ordinal structure."""
    if value is not None and value[0] == "text":
        texts.append(value[1])
        return "text"
    return value


def dialog(data):
    """(structure, texts) of a DIALOG or DIALOGEX template."""
    r = Reader(data)
    extended = data[2:4] == b"\xff\xff" and data[0:2] == b"\x01\x00"
    texts = []
    if extended:
        r.take("<HH")
        head = r.take("<IIIHhhhh")  # help id, ex style, style, count, x, y, cx, cy
        style = head[2]
    else:
        head = r.take("<IIHhhhh")  # style, ex style, count, x, y, cx, cy
        style = head[0]
    count = head[3] if extended else head[2]
    structure = [("dialog", extended, head, r.name_or_ordinal(), r.name_or_ordinal(),
                  titled(("text", r.text()), texts))]
    if style & 0x48:  # DS_SETFONT, DS_SHELLFONT
        font = r.take("<HHBB") if extended else (r.word(),)
        structure.append(("font", font, r.text()))
    for _ in range(count):
        r.align(4)
        item = r.take("<IIIhhhhI") if extended else r.take("<IIhhhhH")
        kind = r.name_or_ordinal()
        title = titled(r.name_or_ordinal(), texts)
        extra = r.bytes(r.word())
        structure.append(("control", item, kind, title, extra))
    return structure, texts


def version_node(r, depth):
    start = r.at
    length, value_length, kind = r.take("<HHH")
    key = r.text()
    r.align(4)
    end = start + length
    if end > len(r.data) or length < 6:
        raise Malformed("version node %r runs past its parent" % key)
    if kind == 1:
        # Compilers disagree whether the length counts the closing zero.
        value = r.bytes(min(2 * value_length, end - r.at)).decode("utf-16-le").rstrip("\0")
    else:
        value = r.bytes(value_length)
    children = []
    r.align(4)
    while r.at < end and depth < 4:
        children.append(version_node(r, depth + 1))
        r.align(4)
    r.at = end
    return key, kind, value, children


def version(data, language):
    """The parts of a version resource that a translation must keep, the
    structure of the string table it translates, and that table's texts."""
    root = version_node(Reader(data), 0)
    if root[0] != "VS_VERSION_INFO":
        raise Malformed("no VS_VERSION_INFO")
    tables, translation, order = [], [], []
    for key, _, value, children in root[3]:
        order.append(key)
        if key == "StringFileInfo":
            tables = [(k, c) for k, _, _, c in children]
        elif key == "VarFileInfo":
            for name, _, pairs, _ in children:
                if name == "Translation":
                    translation = list(struct.iter_unpack("<HH", pairs))
    wanted = "%04x" % language
    chosen = next((t for t in tables if t[0].lower().startswith(wanted)), tables[0] if tables else None)
    values, texts = [], []
    for name, _, value, _ in chosen[1] if chosen else []:
        if name in TRANSLATED_VERSION_VALUES:
            values.append((name, "text"))
            texts.append(value)
        else:
            values.append((name, value))
    return {"fixed": root[2], "order": order, "values": values, "tables": [k.lower() for k, _ in tables],
            "translation": translation}, texts


def message_table(data):
    r = Reader(data)
    blocks = [r.take("<III") for _ in range(r.dword())]
    structure, texts, flags = [], [], []
    for low, high, offset in blocks:
        r.at = offset
        for _ in range(high - low + 1):
            length, unicode = r.take("<HH")
            raw = r.bytes(length - 4)
            flags.append(unicode)
            texts.append(raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0"))
        structure.append((low, high))
    return structure, texts, flags


def string_table(data):
    r = Reader(data)
    used = []
    for _ in range(16):
        used.append(len(r.bytes(2 * r.word())) > 0)
    return used


def leaves(path):
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    out = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                entry = lang.data.struct
                key = (kind.id if kind.id is not None else str(kind.name),
                       name.id if name.id is not None else str(name.name), lang.id)
                out[key] = (pe.get_data(entry.OffsetToData, entry.Size), entry.CodePage)
    return out


def structure_of(kind, data, language):
    if kind == 4:
        return menu(data)[0]
    if kind == 5:
        return dialog(data)[0]
    if kind == 11:
        return message_table(data)[0]
    if kind == 6:
        return string_table(data)
    raise Malformed("no reader for type %d" % kind)


def compare_version(before, after, language):
    """What differs between a neutral version resource and one copy."""
    old, _ = version(before, NEUTRAL)
    new, _ = version(after, language)
    problems = []
    for field in ("fixed", "order", "values"):
        if old[field] != new[field]:
            problems.append("%s %r != %r" % (field, new[field], old[field]))
    if new["tables"] != ["%04x04b0" % language]:
        problems.append("string tables %r" % new["tables"])
    if new["translation"] != [(language, 1200)]:
        problems.append("translation %r" % new["translation"])
    return problems


def compare(kind, before, after, language):
    if kind == 16:
        return compare_version(before, after, language)
    problems = []
    old, new = structure_of(kind, before, NEUTRAL), structure_of(kind, after, language)
    if old != new:
        at = next((i for i, (a, b) in enumerate(zip(old, new)) if a != b), min(len(old), len(new)))
        problems.append("part %d: %r, was %r" % (at, new[at:at + 1], old[at:at + 1]))
    if kind == 11 and not all(message_table(after)[2]):
        problems.append("an entry is not Unicode")
    return problems


def order(item):
    """Leaves by type, name and language, ids before names."""
    return tuple((0, part, "") if isinstance(part, int) else (1, 0, part) for part in item[0])


def main(argv):
    global NEUTRAL
    original, result, NEUTRAL = leaves(argv[1]), leaves(argv[2]), int(argv[3], 16)
    types = {int(t) for t in argv[4].split(",")}
    languages = [int(l, 16) for l in argv[5:]]
    failed, seen = False, set()
    for (kind, name, lang), (data, codepage) in sorted(original.items(), key=order):
        label = "%s/%s" % (kind, name)
        if kind in types and lang == NEUTRAL:
            copies = [(kind, name, l) for l in languages]
            if (kind, name, lang) in result and lang not in languages:
                print("%s/%04x still there" % (label, lang))
                failed = True
            for copy in copies:
                seen.add(copy)
                if copy not in result:
                    print("%s/%04x missing" % (label, copy[2]))
                    failed = True
                    continue
                problems = compare(kind, data, result[copy][0], copy[2])
                print("%s/%04x %s" % (label, copy[2], "; ".join(problems) or "same structure"))
                failed |= bool(problems)
        else:
            seen.add((kind, name, lang))
            kept = result.get((kind, name, lang)) == (data, codepage)
            print("%s/%04x %s" % (label, lang, "kept" if kept else "changed"))
            failed |= not kept
    for extra in sorted(set(result) - seen, key=lambda key: order((key, None))):
        print("%s/%s/%04x added" % extra)
        failed = True
    return 1 if failed else 0


NEUTRAL = 0

if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Malformed as error:
        print("malformed: %s" % error)
        sys.exit(1)
