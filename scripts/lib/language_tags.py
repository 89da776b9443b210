#!/usr/bin/env python3
"""Prints the table of language tags and Windows language ids that Wine's
locale.nls carries: the names Wine's LCIDToLocaleName gives and its
LocaleNameToLCID reads back, the spellings Windows itself reports; and
Windows' pseudo-locales, which Wine's table lacks, as Microsoft lists them.

Usage: language_tags.py LOCALE_NLS [SOURCE]

One row per language id, 'tag<TAB>0xLANGID', ascending by id, after comment
lines that say where the table came from (SOURCE, e.g. "libwine
8.0~repack-4", names the file's package there). Standard library only."""
import struct
import sys

# Offsets in Wine's locale table (its NLS_LOCALE_HEADER), which begins where
# the file's header points with its fifth 32-bit word.
MAGIC_AT, LCID_COUNT_AT, NAME_COUNT_AT = 0x0C, 0x1E, 0x28
LCID_INDEX_AT, NAME_INDEX_AT, STRINGS_AT = 0x2C, 0x30, 0x40
INDEX_ENTRY_SIZE = 8
# Ids above 16 bits carry a sort order besides the language.
LANGID_MAX = 0xFFFF
# Windows spells the traditional sort of Spanish with a suffix that no
# BCP-47 tag can carry ('_' is no separator there, 'tradnl' no subtag), and
# its language is es-ES (0x0C0A) too; a tag must name one id, so it is left
# out rather than half-accepted.
NOT_A_TAG = {"es-ES_tradnl"}
# Windows' pseudo-locales (Vista and later), for pseudo-translated builds.
# Wine's locale.nls has none of them; their ids and names are Microsoft's:
# [MS-LCID] 2.2, "LCID Structure" (the table of language ids and tags),
# https://learn.microsoft.com/openspecs/windows_protocols/ms-lcid/63d3d639-7fd2-4afb-abbe-0d5b5551eef8
# and "Pseudo-Locales" (base 0501, mirrored 09ff, East Asian 05fe),
# https://learn.microsoft.com/windows/win32/intl/pseudo-locales
PSEUDO_LOCALES = [(0x0501, "qps-ploc"), (0x05FE, "qps-ploca"), (0x09FF, "qps-plocm")]


class LocaleTable:
    """The id and name indexes of the locale table of one locale.nls."""

    def __init__(self, data):
        self.data = data
        self.base = struct.unpack_from("<8I", data, 0)[4]
        magic = data[self.base + MAGIC_AT:self.base + MAGIC_AT + 4]
        if magic != b"NSDS":
            raise ValueError(f"no locale table at 0x{self.base:X} (magic {magic!r})")
        self.strings = self.base + self.field("<I", STRINGS_AT)

    def field(self, fmt, offset):
        return struct.unpack_from(fmt, self.data, self.base + offset)[0]

    def string(self, index):
        """The UTF-16 string `index` units into the strings, its length first."""
        at = self.strings + 2 * index
        (length,) = struct.unpack_from("<H", self.data, at)
        return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

    def entries(self, count_at, index_at, fmt):
        start = self.base + self.field("<I", index_at)
        for i in range(self.field("<H", count_at)):
            yield struct.unpack_from(fmt, self.data, start + INDEX_ENTRY_SIZE * i)

    def name_of_id(self):
        return {lcid: self.string(name)
                for lcid, _, name in self.entries(LCID_COUNT_AT, LCID_INDEX_AT, "<IHH")}

    def id_of_name(self):
        return {self.string(name): lcid
                for name, _, lcid in self.entries(NAME_COUNT_AT, NAME_INDEX_AT, "<HHI")}


def language_tags(data):
    """[(id, tag)] ascending by id: every language id with a name that is a
    tag, each name checked to lead back to its own id."""
    table = LocaleTable(data)
    by_name = table.id_of_name()
    rows = []
    # The invariant locale (0x007F) has an empty name.
    for lcid, name in sorted(table.name_of_id().items()):
        if lcid > LANGID_MAX or not name or name in NOT_A_TAG:
            continue
        if by_name.get(name) != lcid:
            raise ValueError(f"{name} names 0x{lcid:04X} but reads back as {by_name.get(name)}")
        rows.append((lcid, name))
    return rows


def with_pseudo_locales(rows):
    """The rows and the pseudo-locales, ascending by id. A later Wine that
    carries one must carry it as Microsoft lists it: a table of two minds
    stops here rather than hold an id or a tag twice."""
    ids = dict(rows)
    tags = {tag: lcid for lcid, tag in rows}
    merged = list(rows)
    for lcid, tag in PSEUDO_LOCALES:
        if ids.get(lcid, tag) != tag or tags.get(tag, lcid) != lcid:
            raise ValueError(f"Wine's table and Microsoft's differ on {tag} 0x{lcid:04X}")
        if lcid not in ids:
            merged.append((lcid, tag))
    return sorted(merged)


def main(argv):
    if len(argv) not in (2, 3):
        sys.exit(__doc__)
    with open(argv[1], "rb") as f:
        rows = with_pseudo_locales(language_tags(f.read()))
    source = f" of {argv[2]}" if len(argv) == 3 else ""
    print("# Language tags and the Windows language ids they name, as Wine's")
    print(f"# LCIDToLocaleName gives them: {argv[1]}{source},")
    print("# read by scripts/lib/language_tags.py, which adds Windows' pseudo-locales")
    print("# (qps-ploc, qps-ploca, qps-plocm) as Microsoft lists them: [MS-LCID] 2.2,")
    print("# https://learn.microsoft.com/openspecs/windows_protocols/ms-lcid/63d3d639-7fd2-4afb-abbe-0d5b5551eef8")
    print("# Run it again rather than edit.")
    for lcid, tag in rows:
        print(f"{tag}\t0x{lcid:04X}")


if __name__ == "__main__":
    main(sys.argv)
