#!/usr/bin/env python3
"""Section sizes of an ELF file, read with the standard library alone, and the
number of DIEs of its .debug_info as llvm-dwarfdump counts them (--dies).

Usage: elfsize.py [--dies] ELF...
"""

import struct
import subprocess
import sys


def section_sizes(path):
    """Maps section name to (size, occupies file bytes)."""
    with open(path, "rb") as f:
        ident = f.read(16)
        if ident[:4] != b"\x7fELF":
            raise ValueError("%s is not an ELF file" % path)
        wide = ident[4] == 2
        order = "<" if ident[5] == 1 else ">"
        head = f.read(48 if wide else 36)
        if wide:
            shoff = struct.unpack_from(order + "Q", head, 24)[0]
            shentsize, shnum, shstrndx = struct.unpack_from(order + "HHH", head, 42)
            fields = order + "IIQQQQIIQQ"
        else:
            shoff = struct.unpack_from(order + "I", head, 16)[0]
            shentsize, shnum, shstrndx = struct.unpack_from(order + "HHH", head, 30)
            fields = order + "IIIIIIIIII"
        f.seek(shoff)
        table = f.read(shentsize * shnum)
        headers = [struct.unpack_from(fields, table, i * shentsize) for i in range(shnum)]
        f.seek(headers[shstrndx][4])
        names = f.read(headers[shstrndx][5])
    sizes = {}
    for h in headers:
        end = names.index(b"\0", h[0])
        sizes[names[h[0]:end].decode()] = (h[5], h[1] != 8)
    return sizes


def count_dies(path):
    """DIEs of .debug_info (NULL entries not counted)."""
    proc = subprocess.Popen(["llvm-dwarfdump", "--debug-info", path], stdout=subprocess.PIPE)
    count = 0
    for line in proc.stdout:
        if line.startswith(b"0x") and b"DW_TAG_" in line:
            count += 1
    proc.wait()
    return count


def main():
    args = sys.argv[1:]
    dies = "--dies" in args
    for path in [a for a in args if a != "--dies"]:
        s = section_sizes(path)
        info = s.get(".debug_info", (0, True))[0]
        alloc = sum(v[0] for k, v in s.items() if k in (".text", ".rodata", ".data", ".bss"))
        line = "%s: .debug_info %.2f MB, data and code %.2f MB" % (path, info / 1e6, alloc / 1e6)
        if dies:
            line += ", %d DIEs" % count_dies(path)
        print(line)


if __name__ == "__main__":
    main()
