#!/usr/bin/env python3
"""Writes a large A2L file for the benchmark firmware, for update mode.

The objects name the firmware's scalars the way the tool flattens them
("var", "var.member", "var[3]", "var[1][2].x"), and their ECU addresses are the
real ones: the symbol's address from `llvm-nm -S --defined-only` plus the member
and element offsets from fw_types.json (written by gen_firmware.py, its layouts
proved against clang by layout_check.c). A second file holds the same text with
every object's address moved by --shift, so that update mode rewrites all of them.

The text carries what real files carry: HEADER, MOD_PAR, MOD_COMMON, an A2ML
block, IF_DATA XCP at module level and per measurement, COMPU_METHODs of every
conversion type with their COMPU_TAB, COMPU_VTAB and COMPU_VTAB_RANGE tables,
RECORD_LAYOUTs, MEASUREMENTs (with BIT_MASK for bit fields), CHARACTERISTICs of
kinds VALUE, VAL_BLK, CURVE and MAP with AXIS_DESCR, AXIS_PTS, GROUPs, and both
kinds of comment.

Usage: gen_a2l.py ELF FW_TYPES.json GLOBALS.tsv OUT.a2l MOVED.a2l [--shift N] [--seed N]
"""

import argparse
import json
import random
import subprocess
import sys

DATATYPES = {  # keyword: (size, lower, upper)
    "UBYTE": (1, 0, 255), "SBYTE": (1, -128, 127), "UWORD": (2, 0, 65535),
    "SWORD": (2, -32768, 32767), "ULONG": (4, 0, 4294967295),
    "SLONG": (4, -2147483648, 2147483647), "A_UINT64": (8, 0, 18446744073709551615),
    "A_INT64": (8, -9223372036854775808, 9223372036854775807),
    "FLOAT32_IEEE": (4, -3.4e38, 3.4e38), "FLOAT64_IEEE": (8, -1.7e308, 1.7e308),
}
UNSIGNED = {1: "UBYTE", 2: "UWORD", 4: "ULONG", 8: "A_UINT64"}
SIGNED = {1: "SBYTE", 2: "SWORD", 4: "SLONG", 8: "A_INT64"}
FLOATS = {4: "FLOAT32_IEEE", 8: "FLOAT64_IEEE"}

UNITS = ["rpm", "km/h", "\u00b0C", "kPa", "bar", "V", "mA", "A", "Nm", "%", "ms", "s",
         "deg", "mg/stk", "kg/h", "l/h", "Hz", "W", "kW", "mV"]
EVENTS = [("1ms", 1), ("5ms", 5), ("10ms", 10), ("20ms", 20), ("50ms", 50),
          ("100ms", 100), ("200ms", 200), ("1000ms", 1000)]

A2ML = """  /begin A2ML
    struct Protocol_Layer {
      uint;                      /* XCP protocol layer version */
      uint; uint; uint; uint;    /* T1 .. T4 [ms] */
      uint; uint; uint;          /* T5 .. T7 [ms] */
      uchar;                     /* MAX_CTO */
      uint;                      /* MAX_DTO */
      enum { "BYTE_ORDER_MSB_LAST" = 0, "BYTE_ORDER_MSB_FIRST" = 1 };
      enum {
        "ADDRESS_GRANULARITY_BYTE" = 1,
        "ADDRESS_GRANULARITY_WORD" = 2,
        "ADDRESS_GRANULARITY_DWORD" = 4
      };
      taggedstruct {
        ("OPTIONAL_CMD" enum {
          "GET_COMM_MODE_INFO" = 0xFB, "SET_MTA" = 0xF6,
          "UPLOAD" = 0xF5, "SHORT_UPLOAD" = 0xF4, "BUILD_CHECKSUM" = 0xF3
        })*;
      };
    };
    struct Event {
      char[101];                 /* event channel name */
      char[9];                   /* short name */
      uint;                      /* channel number */
      enum { "DAQ" = 1, "STIM" = 2, "DAQ_STIM" = 3 };
      uchar; uchar; uchar; uchar;
    };
    struct Daq {
      enum { "STATIC" = 0, "DYNAMIC" = 1 };
      uint; uint; uchar;
      taggedstruct {
        ("/end" "not a block end: the reader skips A2ML raw") ;
        block "TIMESTAMP_SUPPORTED" struct { uint; enum { "SIZE_BYTE" = 1, "SIZE_WORD" = 2, "SIZE_DWORD" = 4 }; };
        (block "EVENT" struct Event)*;
      };
    };
    // line comments and "quoted /end strings" must not end the block
    taggedstruct Common_Parameters {
      block "PROTOCOL_LAYER" struct Protocol_Layer;
      block "DAQ" struct Daq;
    };
    struct UDP_IP_Parameters { uint; uint; taggedstruct { "ADDRESS" char[256]; }; };
    block "IF_DATA" taggedunion if_data {
      "XCP" struct {
        taggedstruct Common_Parameters;
        taggedstruct { block "XCP_ON_UDP_IP" struct UDP_IP_Parameters; };
      };
    };
  /end A2ML
"""


def fmt_num(v):
    if isinstance(v, float):
        return "%.10g" % v
    return str(v)


class Model:
    """The type layouts and the flattening rules of the tool."""

    def __init__(self, path):
        with open(path) as f:
            self.types = json.load(f)["types"]

    def resolve(self, tid):
        t = self.types[tid]
        while t["k"] == "typedef":
            tid = t["t"]
            t = self.types[tid]
        return tid

    def datatype(self, tid, size):
        t = self.types[tid]
        if t["k"] == "base":
            if t["e"] == "f":
                return FLOATS.get(size)
            return (SIGNED if t["e"] == "s" else UNSIGNED).get(size)
        if t["k"] == "enum":
            neg = any(v < 0 for _, v in t["v"])
            return (SIGNED if neg else UNSIGNED).get(size)
        if t["k"] == "pointer":
            return UNSIGNED.get(size)
        return None

    def leaves(self, name, addr, tid, limit):
        """Yields (name, address, resolved type or None, size, mask) in the tool's
        order, taking at most `limit` elements of every array."""
        if tid is None:
            yield name, addr, None, 4, 0
            return
        rid = self.resolve(tid)
        t = self.types[rid]
        k = t["k"]
        if k in ("base", "enum", "pointer"):
            yield name, addr, rid, t["s"], 0
        elif k == "array":
            dims = t["d"]
            count = 1
            for d in dims:
                count *= d
            elem = t["t"]
            stride = self.types[elem]["s"]
            for i in range(min(limit, count)):
                rem, step, idx = i, count, ""
                for d in dims:
                    step //= d
                    idx += "[%d]" % (rem // step)
                    rem %= step
                yield from self.leaves(name + idx, addr + i * stride, elem, limit)
        elif k in ("struct", "union"):
            for mname, mtid, off, bits, shift in t["m"]:
                mfull = name + "." + mname if mname else name
                if bits:
                    rid2 = self.resolve(mtid)
                    mask = ((1 << bits) - 1) << shift
                    yield mfull, addr + off, rid2, self.types[rid2]["s"], mask
                else:
                    yield from self.leaves(mfull, addr + off, mtid, limit)


def parse_spec(spec):
    """'P' (a pointer), '12' (type 12) or '12[4][8]' (an array of type 12)."""
    if spec == "P":
        return None, []
    if "[" not in spec:
        return int(spec), []
    head, rest = spec.split("[", 1)
    return int(head), [int(x) for x in rest.rstrip("]").split("][")]


def read_symbols(elf):
    out = subprocess.run(["llvm-nm", "-S", "--defined-only", elf], check=True,
                         stdout=subprocess.PIPE).stdout.decode()
    syms = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 4:
            syms[parts[3]] = (int(parts[0], 16), int(parts[1], 16))
    return syms


class Writer:
    """Draws the objects once and renders them into both texts."""

    def __init__(self, model, rng, shift, files):
        self.m = model
        self.rng = rng
        self.shift = shift
        self.out = files
        self.counts = {}
        self.enums_used = {}
        self.methods = []        # shared conversion method names, drawn from below
        self.layouts = set()

    # -- text helpers -------------------------------------------------------------
    def put(self, text):
        self.out[0].write(text)
        self.out[1].write(text)

    def put_addressed(self, before, addr, after):
        """One piece of text whose address differs between the two files."""
        style = self.rng.random()
        for i, a in enumerate((addr, addr + self.shift)):
            if style < 0.03:
                s = "%d" % a
            elif style < 0.04:
                s = "0x%x" % a
            else:
                s = "0x%08X" % a
            self.out[i].write(before + s + after)

    def count(self, kind):
        self.counts[kind] = self.counts.get(kind, 0) + 1

    def describe(self, name):
        words = name.split("_", 1)[-1].replace(".", " ").replace("[", " ").replace("]", "")
        text = "%s of %s" % (self.rng.choice(["value", "state", "signal", "parameter", "status"]),
                             words)
        if self.rng.random() < 0.02:
            text += " (\\\"raw\\\")"
        return text

    # -- conversions and layouts ----------------------------------------------------
    def conversions(self):
        r = self.rng
        self.put("\n    /* Conversion methods shared by the objects below */\n")
        self.put('    /begin COMPU_METHOD CM_IDENT "identity" IDENTICAL "%6.0" ""\n'
                 "    /end COMPU_METHOD\n")
        self.put('    /begin COMPU_METHOD CM_BOOL "boolean" TAB_VERB "%1.0" ""\n'
                 "      COMPU_TAB_REF VT_BOOL\n    /end COMPU_METHOD\n"
                 '    /begin COMPU_VTAB VT_BOOL "boolean" TAB_VERB 2\n'
                 '      0 "false"\n      1 "true"\n      DEFAULT_VALUE "invalid"\n'
                 "    /end COMPU_VTAB\n")
        self.count("COMPU_METHOD")
        self.count("COMPU_METHOD")
        self.count("COMPU_VTAB")
        for i in range(600):
            name = "CM_%03d" % i
            unit = r.choice(UNITS)
            kind = r.random()
            if kind < 0.55:
                self.put('    /begin COMPU_METHOD %s "linear %d" LINEAR "%%8.%d" "%s"\n'
                         "      COEFFS_LINEAR %s %s\n    /end COMPU_METHOD\n"
                         % (name, i, r.randint(0, 3), unit, fmt_num(r.choice([0.1, 0.5, 0.01, 2.0, 0.25, 1.0])),
                            fmt_num(float(r.randint(-40, 40)))))
            elif kind < 0.70:
                self.put('    /begin COMPU_METHOD %s "rational %d" RAT_FUNC "%%8.2" "%s"\n'
                         "      COEFFS 0 %d %d 0 0 %d\n    /end COMPU_METHOD\n"
                         % (name, i, unit, r.randint(1, 100), r.randint(-10, 10), r.randint(1, 64)))
            elif kind < 0.80:
                self.put('    /begin COMPU_METHOD %s "formula %d" FORM "%%8.3" "%s"\n'
                         '      /begin FORMULA "X1 * %d / 100 + %d"\n        FORMULA_INV "(X1 - %d) * 100 / %d"\n'
                         "      /end FORMULA\n    /end COMPU_METHOD\n"
                         % (name, i, unit, r.randint(1, 50), r.randint(0, 9), r.randint(0, 9), r.randint(1, 50)))
            elif kind < 0.92:
                ctype = r.choice(["TAB_INTP", "TAB_NOINTP"])
                n = r.randint(3, 24)
                rows = "".join("      %d %s\n" % (j * 10, fmt_num(j * r.choice([1.5, 2.0, 0.5]))) for j in range(n))
                self.put('    /begin COMPU_METHOD %s "table %d" %s "%%8.1" "%s"\n'
                         "      COMPU_TAB_REF CT_%03d\n    /end COMPU_METHOD\n"
                         '    /begin COMPU_TAB CT_%03d "table %d" %s %d\n%s      DEFAULT_VALUE_NUMERIC 0\n'
                         "    /end COMPU_TAB\n" % (name, i, ctype, unit, i, i, i, ctype, n, rows))
                self.count("COMPU_TAB")
            else:
                n = r.randint(2, 8)
                rows = "".join('      %d %d "band %d"\n' % (j * 100, j * 100 + 99, j) for j in range(n))
                self.put('    /begin COMPU_METHOD %s "ranges %d" TAB_VERB "%%4.0" ""\n'
                         "      COMPU_TAB_REF VR_%03d\n    /end COMPU_METHOD\n"
                         '    /begin COMPU_VTAB_RANGE VR_%03d "ranges %d" %d\n%s      DEFAULT_VALUE "out of range"\n'
                         "    /end COMPU_VTAB_RANGE\n" % (name, i, i, i, i, n, rows))
                self.count("COMPU_VTAB_RANGE")
            self.methods.append(name)
            self.count("COMPU_METHOD")

    def enum_tables(self):
        self.put("\n    /* Verbal tables of the enumerations in use */\n")
        for tid, name in self.enums_used.items():
            values = self.m.types[tid]["v"]
            rows = "".join('      %d "%s"\n' % (v, label) for label, v in values)
            self.put('    /begin COMPU_METHOD CM_%s "%s" TAB_VERB "%%8.0" ""\n      COMPU_TAB_REF VT_%s\n'
                     "    /end COMPU_METHOD\n"
                     '    /begin COMPU_VTAB VT_%s "%s" TAB_VERB %d\n%s    /end COMPU_VTAB\n'
                     % (name, name, name, name, name, len(values), rows))
            self.count("COMPU_METHOD")
            self.count("COMPU_VTAB")

    def record_layouts(self):
        self.put("\n    /* Record layouts */\n")
        for dt in sorted(self.layouts):
            kind, keyword = dt.split(":")
            if kind == "VALUE":
                self.put("    /begin RECORD_LAYOUT RL_VALUE_%s\n      FNC_VALUES 1 %s ROW_DIR DIRECT\n"
                         "    /end RECORD_LAYOUT\n" % (keyword, keyword))
            elif kind == "AXIS":
                self.put("    /begin RECORD_LAYOUT RL_AXIS_%s\n      AXIS_PTS_X 1 %s INDEX_INCR DIRECT\n"
                         "    /end RECORD_LAYOUT\n" % (keyword, keyword))
            else:
                self.put("    /begin RECORD_LAYOUT RL_%s_%s\n      FNC_VALUES 1 %s COLUMN_DIR DIRECT\n"
                         "      ALIGNMENT_WORD 2\n    /end RECORD_LAYOUT\n" % (kind, keyword, keyword))
            self.count("RECORD_LAYOUT")

    def conversion_for(self, rid):
        t = self.m.types[rid] if rid is not None else None
        if t is not None and t["k"] == "enum":
            name = "E%d" % rid
            self.enums_used.setdefault(rid, name)
            return "CM_" + name
        if t is not None and t["k"] == "base" and t["e"] == "b":
            return "CM_BOOL"
        r = self.rng.random()
        if r < 0.3:
            return "CM_IDENT"
        if r < 0.35:
            return "NO_COMPU_METHOD"
        return self.rng.choice(self.methods)

    # -- objects --------------------------------------------------------------------
    def measurement(self, name, addr, rid, size, mask, inputs):
        dt = self.m.datatype(rid, size) if rid is not None else "ULONG"
        if dt is None:
            return
        r = self.rng
        _, lo, hi = DATATYPES[dt]
        self.put("    /begin MEASUREMENT %s \"%s\"\n      %s %s 0 0 %s %s\n"
                 % (name, self.describe(name), dt, self.conversion_for(rid), fmt_num(lo), fmt_num(hi)))
        if r.random() < 0.05:
            self.put("      // mirrored by the diagnostic service\n")
        self.put_addressed("      ECU_ADDRESS ", addr, "\n")
        if mask:
            self.put("      BIT_MASK 0x%X\n" % mask)
        if r.random() < 0.5:
            self.put('      FORMAT "%%%d.%d"\n' % (r.randint(4, 10), r.randint(0, 3)))
        if r.random() < 0.3:
            self.put('      PHYS_UNIT "%s"\n' % r.choice(UNITS))
        if r.random() < 0.2:
            self.put("      DISPLAY_IDENTIFIER %s\n" % name.replace(".", "_").replace("[", "_").replace("]", ""))
        if r.random() < 0.1:
            self.put("      READ_WRITE\n")
        if r.random() < 0.02:
            self.put("      BYTE_ORDER MSB_LAST /* as the module */\n")
        if r.random() < 0.6:
            self.put("      /begin IF_DATA XCP\n        /begin DAQ_EVENT FIXED_EVENT_LIST EVENT 0x%04X"
                     " /end DAQ_EVENT\n      /end IF_DATA\n" % r.randrange(len(EVENTS)))
        self.put("    /end MEASUREMENT\n")
        self.count("MEASUREMENT")
        inputs.append(name)

    def value(self, name, addr, rid, size, mask):
        dt = self.m.datatype(rid, size) if rid is not None else None
        if dt is None:
            return
        _, lo, hi = DATATYPES[dt]
        self.layouts.add("VALUE:" + dt)
        self.put_addressed("    /begin CHARACTERISTIC %s \"%s\"\n      VALUE " % (name, self.describe(name)),
                           addr, " RL_VALUE_%s 0 %s %s %s\n" % (dt, self.conversion_for(rid), fmt_num(lo), fmt_num(hi)))
        if mask:
            self.put("      BIT_MASK 0x%X\n" % mask)
        if self.rng.random() < 0.4:
            self.put("      EXTENDED_LIMITS %s %s\n" % (fmt_num(lo), fmt_num(hi)))
        if self.rng.random() < 0.3:
            self.put('      FORMAT "%6.2"\n')
        self.put("    /end CHARACTERISTIC\n")
        self.count("CHARACTERISTIC VALUE")

    def array_object(self, name, addr, rid, size, dims, inputs, axes):
        """An array as one object: CURVE, MAP, VAL_BLK or AXIS_PTS."""
        dt = self.m.datatype(rid, size)
        if dt is None:
            return False
        _, lo, hi = DATATYPES[dt]
        r = self.rng
        conv = self.conversion_for(rid)
        head = "    /begin CHARACTERISTIC %s \"%s\"\n      " % (name, self.describe(name))
        if len(dims) == 2 and dims[0] <= 65535 and dims[1] <= 65535:
            self.layouts.add("MAP:" + dt)
            self.put_addressed(head + "MAP ", addr, " RL_MAP_%s 0 %s %s %s\n" % (dt, conv, fmt_num(lo), fmt_num(hi)))
            for n in (dims[1], dims[0]):
                self.put("      /begin AXIS_DESCR FIX_AXIS %s NO_COMPU_METHOD %d 0 %d\n"
                         "        FIX_AXIS_PAR_DIST 0 1 %d\n      /end AXIS_DESCR\n"
                         % (r.choice(inputs) if inputs else "NO_INPUT_QUANTITY", n, n - 1, n))
            self.put("    /end CHARACTERISTIC\n")
            self.count("CHARACTERISTIC MAP")
            return True
        if len(dims) != 1:
            return False
        n = dims[0]
        k = r.random()
        if n <= 1000 and k < 0.25:
            self.layouts.add("AXIS:" + dt)
            self.put_addressed("    /begin AXIS_PTS %s \"%s\"\n      " % (name, self.describe(name)), addr,
                               " %s RL_AXIS_%s 0 %s %d %s %s\n    /end AXIS_PTS\n"
                               % (r.choice(inputs) if inputs else "NO_INPUT_QUANTITY", dt, conv, n,
                                  fmt_num(lo), fmt_num(hi)))
            self.count("AXIS_PTS")
            axes.append((name, n))
            return True
        if n <= 1000 and k < 0.65:
            self.layouts.add("CURVE:" + dt)
            self.put_addressed(head + "CURVE ", addr, " RL_CURVE_%s 0 %s %s %s\n" % (dt, conv, fmt_num(lo), fmt_num(hi)))
            same = [a for a in axes if a[1] == n]
            if same and r.random() < 0.7:
                axis = r.choice(same)[0]
                self.put("      /begin AXIS_DESCR COM_AXIS %s NO_COMPU_METHOD %d 0 %d\n"
                         "        AXIS_PTS_REF %s\n      /end AXIS_DESCR\n"
                         % (r.choice(inputs) if inputs else "NO_INPUT_QUANTITY", n, n - 1, axis))
            else:
                self.put("      /begin AXIS_DESCR FIX_AXIS NO_INPUT_QUANTITY NO_COMPU_METHOD %d 0 %d\n"
                         "        FIX_AXIS_PAR_DIST 0 1 %d\n      /end AXIS_DESCR\n" % (n, n - 1, n))
            self.put("    /end CHARACTERISTIC\n")
            self.count("CHARACTERISTIC CURVE")
            return True
        self.layouts.add("VALUE:" + dt)
        self.put_addressed(head + "VAL_BLK ", addr, " RL_VALUE_%s 0 %s %s %s\n      NUMBER %d\n    /end CHARACTERISTIC\n"
                           % (dt, conv, fmt_num(lo), fmt_num(hi), n))
        self.count("CHARACTERISTIC VAL_BLK")
        return True

    def global_objects(self, name, spec, syms, inputs, axes, group):
        """The objects of one global: scalars as MEASUREMENT or VALUE, arrays of
        scalars often as one CURVE, MAP, VAL_BLK or AXIS_PTS, records by some of
        their members."""
        if name not in syms:
            return
        addr, _ = syms[name]
        r = self.rng
        if r.random() < 0.12:
            return  # not every global is described
        tid, dims = parse_spec(spec)
        if dims:
            elem = self.m.resolve(tid)
            et = self.m.types[elem]
            if et["k"] in ("base", "enum") and r.random() < 0.8:
                if self.array_object(name, addr, elem, et["s"], dims, inputs, axes):
                    group[1].append(name)
                    return
            leaves = self.array_leaves(name, addr, tid, dims)
        else:
            leaves = self.m.leaves(name, addr, tid, 3)
        taken = 0
        cap = r.choice([1, 2, 3, 4, 6, 8])
        for leaf in leaves:
            if taken >= cap:
                break
            if taken and r.random() < 0.4:
                continue
            lname, laddr, lrid, lsize, mask = leaf
            if lrid is not None and r.random() < 0.15:
                self.value(lname, laddr, lrid, lsize, mask)
                group[1].append(lname)
            else:
                self.measurement(lname, laddr, lrid, lsize, mask, inputs)
                group[0].append(lname)
            taken += 1

    def array_leaves(self, name, addr, tid, dims):
        count = 1
        for d in dims:
            count *= d
        stride = self.m.types[tid]["s"]
        for i in range(min(count, 3)):
            rem, step, idx = i, count, ""
            for d in dims:
                step //= d
                idx += "[%d]" % (rem // step)
                rem %= step
            yield from self.m.leaves(name + idx, addr + i * stride, tid, 3)

    def groups(self, unit, group):
        """One GROUP per unit that lists its objects, as calibration tools browse them."""
        if unit is None or not (group[0] or group[1]):
            return
        self.put('    /begin GROUP %s "objects of unit %s"\n' % (unit, unit))
        for keyword, names in zip(("REF_MEASUREMENT", "REF_CHARACTERISTIC"), group):
            if names:
                self.put("      /begin %s\n%s      /end %s\n"
                         % (keyword, "".join("        %s\n" % n for n in names), keyword))
        self.put("    /end GROUP\n")


def module_head(units):
    events = "".join('        /begin EVENT "%s" "%s" %d DAQ 1 %d 6 0 /end EVENT\n'
                     % (n, n, i, c if c < 256 else c // 10) for i, (n, c) in enumerate(EVENTS))
    return (
        "// Benchmark calibration description, generated by gen_a2l.py\n"
        "ASAP2_VERSION 1 61\n"
        '/begin PROJECT BenchFirmware "benchmark firmware for armv7m"\n'
        '  /begin HEADER "generated for the update benchmark"\n'
        '    VERSION "1.0"\n    PROJECT_NO BENCH01\n  /end HEADER\n'
        '  /begin MODULE BenchEcu "all %d units"\n' % units
        + A2ML +
        '    /begin MOD_PAR "module parameters"\n      VERSION "bench-1"\n'
        '      ADDR_EPK 0x00010000\n      EPK "BENCH EPK"\n      SUPPLIER "bench"\n'
        '      CUSTOMER "bench"\n      ECU "BenchEcu"\n      CPU_TYPE "ARMv7-M"\n'
        "      NO_OF_INTERFACES 1\n"
        '      /begin MEMORY_SEGMENT Flash "code and calibration" CODE FLASH INTERN 0x00010000 0x00400000'
        " -1 -1 -1 -1 -1\n      /end MEMORY_SEGMENT\n"
        '      SYSTEM_CONSTANT "BENCH_UNITS" "%d"\n      SYSTEM_CONSTANT "BENCH_EVENTS" "%d"\n'
        "    /end MOD_PAR\n" % (units, len(EVENTS)) +
        '    /begin MOD_COMMON "common settings"\n      BYTE_ORDER MSB_LAST\n      ALIGNMENT_BYTE 1\n'
        "      ALIGNMENT_WORD 2\n      ALIGNMENT_LONG 4\n      ALIGNMENT_FLOAT32_IEEE 4\n"
        "      ALIGNMENT_FLOAT64_IEEE 8\n    /end MOD_COMMON\n"
        "    /begin IF_DATA XCP\n      /begin PROTOCOL_LAYER\n"
        "        0x0101 1000 1000 1000 1000 1000 1000 200 0xFF 0x0400\n"
        "        BYTE_ORDER_MSB_LAST ADDRESS_GRANULARITY_BYTE\n"
        "        OPTIONAL_CMD GET_COMM_MODE_INFO OPTIONAL_CMD SET_MTA OPTIONAL_CMD UPLOAD"
        " OPTIONAL_CMD SHORT_UPLOAD\n      /end PROTOCOL_LAYER\n"
        "      /begin DAQ\n        DYNAMIC 0 %d 0 OPTIMISATION_TYPE_DEFAULT ADDRESS_EXTENSION_FREE"
        " IDENTIFICATION_FIELD_TYPE_ABSOLUTE\n        GRANULARITY_ODT_ENTRY_SIZE_DAQ_BYTE 7"
        " OVERLOAD_INDICATION_PID\n        /begin TIMESTAMP_SUPPORTED 1 SIZE_DWORD UNIT_1MS"
        " /end TIMESTAMP_SUPPORTED\n%s      /end DAQ\n" % (len(EVENTS), events) +
        '      /begin XCP_ON_UDP_IP\n        0x0100 5555\n        ADDRESS "192.168.1.10"\n'
        "      /end XCP_ON_UDP_IP\n    /end IF_DATA\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("elf")
    ap.add_argument("types")
    ap.add_argument("globals")
    ap.add_argument("out")
    ap.add_argument("moved")
    ap.add_argument("--shift", type=lambda s: int(s, 0), default=0x100)
    ap.add_argument("--seed", type=int, default=7)
    args = ap.parse_args()

    model = Model(args.types)
    syms = read_symbols(args.elf)
    with open(args.globals) as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    units = len({name.split("_", 1)[0] for name, _ in rows})

    # Streamed into both files at once; the tables that only the objects decide
    # (enumeration texts, record layouts) follow the objects, as many files have it.
    with open(args.out, "w", encoding="utf-8", newline="\n") as f0, \
            open(args.moved, "w", encoding="utf-8", newline="\n") as f1:
        w = Writer(model, random.Random(args.seed), args.shift, (f0, f1))
        w.put(module_head(units))
        w.conversions()
        current, group, inputs, axes = None, ([], []), [], []
        for gname, spec in rows:
            unit = gname.split("_", 1)[0]
            if unit != current:
                w.groups(current, group)
                current, group, inputs, axes = unit, ([], []), [], []
                w.put("\n    /* ---- unit %s ---- */\n" % unit)
            w.global_objects(gname, spec, syms, inputs, axes, group)
        w.groups(current, group)
        w.enum_tables()
        w.record_layouts()
        w.put("  /end MODULE\n/end PROJECT\n")
    objects = sum(n for k, n in w.counts.items() if k.split()[0] in ("MEASUREMENT", "CHARACTERISTIC", "AXIS_PTS"))
    detail = ", ".join("%d %s" % (n, k) for k, n in sorted(w.counts.items()))
    print("gen_a2l: %d objects to update (%s)" % (objects, detail), file=sys.stderr)


if __name__ == "__main__":
    main()
