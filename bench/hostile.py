#!/usr/bin/env python3
"""Writes two small crafted ELF files whose debug information makes a careless
reader work for minutes (ELF32, little-endian, DWARF 4), and times list mode on
them:

  zero.elf    64,000 variables located at 0 in an image that starts at 0, and
              64,000 C++ data object symbols at 0, none of them naming one;
  branch.elf  1,000 globals of a structure of four members, each of the
              structure one level down, 18 levels deep: billions of values;
  mangled.elf one variable at 0 of a 400 KB name, and one 4 MB C++ data
              object symbol at 0 in which that name follows its length
              600,000 times over.

Usage: hostile.py --tool EXE --data DIR [--reps N]
"""

import argparse
import os
import statistics
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runner  # noqa: E402


def uleb(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        out.append(b | (0x80 if v else 0))
        if not v:
            return bytes(out)


def abbrev(code, tag, children, specs):
    out = uleb(code) + uleb(tag) + bytes([1 if children else 0])
    for attr, form in specs:
        out += uleb(attr) + uleb(form)
    return out + b"\0\0"


# DW_FORM codes, DW_AT codes and DW_TAG codes used below
STRING, DATA1, REF4, EXPRLOC = 0x08, 0x0B, 0x13, 0x18
NAME, BYTE_SIZE, ENCODING, TYPE, LOCATION, MEMBER_LOCATION = 0x03, 0x0B, 0x3E, 0x49, 0x02, 0x38
ABBREVS = (abbrev(1, 0x11, True, [(NAME, STRING)])
           + abbrev(2, 0x24, False, [(NAME, STRING), (BYTE_SIZE, DATA1), (ENCODING, DATA1)])
           + abbrev(3, 0x34, False, [(NAME, STRING), (TYPE, REF4), (LOCATION, EXPRLOC)])
           + abbrev(4, 0x13, True, [(NAME, STRING), (BYTE_SIZE, DATA1)])
           + abbrev(5, 0x0D, False, [(NAME, STRING), (TYPE, REF4), (MEMBER_LOCATION, DATA1)])
           + b"\0")
HEADER = 11  # unit_length, version, abbrev offset, address size


class Unit:
    def __init__(self):
        self.body = bytearray(uleb(1) + b"hostile.c\0")

    def offset(self):
        return HEADER + len(self.body)

    def base(self):
        at = self.offset()
        self.body += uleb(2) + b"int\0" + bytes([4, 5])
        return at

    def structure(self, name, member_type):
        at = self.offset()
        self.body += uleb(4) + name.encode() + b"\0" + bytes([16])
        for i, member in enumerate("abcd"):
            self.body += uleb(5) + member.encode() + b"\0" + struct.pack("<I", member_type) + bytes([4 * i])
        self.body += b"\0"
        return at

    def variable(self, name, type_offset, address):
        self.body += uleb(3) + name.encode() + b"\0" + struct.pack("<I", type_offset)
        self.body += uleb(5) + b"\x03" + struct.pack("<I", address)

    def bytes(self):
        body = self.body + b"\0"
        return struct.pack("<IHIB", len(body) + 7, 4, 0, 4) + body


def elf(path, sections, symbols):
    """sections: (name, type, flags, addr, data or size); symbols: names of
    data objects at 0 in section 1."""
    strtab = bytearray(b"\0")
    symtab = bytearray(16)
    for name in symbols:
        symtab += struct.pack("<IIIBBH", len(strtab), 0, 4, 0x11, 0, 1)
        strtab += name.encode() + b"\0"
    sections = sections + [(".symtab", 2, 0, 0, bytes(symtab)), (".strtab", 3, 0, 0, bytes(strtab))]
    names = bytearray(b"\0")
    name_at = []
    for s in sections + [(".shstrtab",)]:
        name_at.append(len(names))
        names += s[0].encode() + b"\0"
    sections.append((".shstrtab", 3, 0, 0, bytes(names)))
    data = bytearray(52)
    headers = [bytes(40)]
    symtab_index = len(sections) - 2  # 1-based index of .symtab is len - 2 ... set below
    for i, (name, kind, flags, addr, content) in enumerate(sections):
        offset = len(data)
        if isinstance(content, int):
            size = content
        else:
            size = len(content)
            data += content
        link = info = entsize = 0
        if name == ".symtab":
            link, info, entsize = len(sections) - 1, 1, 16  # .strtab follows it
        headers.append(struct.pack("<IIIIIIIIII", name_at[i], kind, flags, addr, offset, size, link, info, 1,
                                   entsize))
    del symtab_index
    shoff = len(data)
    data += b"".join(headers)
    data[0:52] = (b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)
                  + struct.pack("<HHIIIIIHHHHHH", 2, 40, 1, 0, 0, shoff, 0x5000000, 52, 0, 0, 40,
                                len(headers), len(headers) - 1))
    with open(path, "wb") as f:
        f.write(data)


def image(unit):
    return [(".text", 1, 0x6, 0, 0x100), (".data", 8, 0x3, 0x100000, 0x1000000),
            (".debug_abbrev", 1, 0, 0, ABBREVS), (".debug_info", 1, 0, 0, unit.bytes())]


def write_files(out):
    os.makedirs(out, exist_ok=True)

    unit = Unit()
    base = unit.base()
    for i in range(64000):
        unit.variable("plausibility_%05d" % i, base, 0)
    elf(os.path.join(out, "zero.elf"), image(unit),
        ["_ZN11calibration11diagnostics7monitor14plausibility_%05dE" % i for i in range(64000)])

    unit = Unit()
    level = unit.base()
    for depth in range(18):
        level = unit.structure("s%d" % depth, level)
    for i in range(1000):
        unit.variable("g%d" % i, level, 0x100000 + 16 * i)
    elf(os.path.join(out, "branch.elf"), image(unit), [])

    unit = Unit()
    unit.variable(("a400000" * 60000)[:400000], unit.base(), 0)
    elf(os.path.join(out, "mangled.elf"), image(unit), ["_Z" + "400000a" * 600000])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    out = os.path.join(args.data, "hostile")
    write_files(out)
    print("\n== crafted files (list mode; each must take well under a second or two)")
    print("   file          size KB     tool s    RSS MB")
    for name in ("zero.elf", "branch.elf", "mangled.elf"):
        path = os.path.join(out, name)
        samples = [runner.run([args.tool, "-l", path]) for _ in range(max(args.reps, 1))]
        for _, _, status, err in samples:
            if status != 0:
                sys.exit("%s failed: %s" % (name, err))
        print("   %-12s %8.0f %10.3f %9.1f" % (name, os.path.getsize(path) / 1e3,
                                             statistics.median(s[0] for s in samples),
                                             statistics.median(s[1] for s in samples) / runner.MB))


if __name__ == "__main__":
    main()
