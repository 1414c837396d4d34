#!/usr/bin/env python3
"""Writes the C sources of a large benchmark firmware for armv7m.

One shared header holds a few thousand types (enumerations, typedefs, bit-field
registers, structures nested several levels deep, unions, packed frames, array
typedefs, callbacks); every compile unit includes it and defines a few hundred
initialised or zeroed globals of those types; every fiftieth unit also holds one
buffer or calibration map of 20k-100k elements, and unit 0 holds _start.

Everything is drawn from a seeded generator, so a given seed always gives the same
bytes, and unit k is the same in every size: a bigger firmware only adds units.
Besides the sources it writes the type layouts (fw_types.json) and the list of
globals (globals-SIZE.tsv) that gen_a2l.py turns into an A2L file, and a unit
of static assertions (layout_check.c) that proves the layouts against clang.

Usage: gen_firmware.py SIZE OUTDIR [--seed N] [--units N]
"""

import argparse
import json
import os
import random
import sys

# Compile units per size; calibrated so that .debug_info comes out at about
# 4 MB, 50 MB and 190 MB with DWARF 5 (see README.md for the measured figures).
UNITS = {"small": 85, "medium": 1025, "large": 3900}
DEFAULT_SEED = 20240611

COMPONENTS = [
    "Eng", "Trq", "Brk", "Abs", "Esp", "Can", "Lin", "Com", "Dcm", "Dem",
    "Nvm", "Bsw", "Io", "Adc", "Pwm", "Dio", "Wdg", "Os", "Fan", "Pump",
    "Inj", "Ign", "Lam", "Egr", "Tcm", "Bat", "Chg", "Hvac", "Light", "Door",
    "Seat", "Mirr", "Wipe", "Park", "Crs", "Str", "Susp", "Tpms", "Diag", "Cal",
]

WORDS = [
    "speed", "temp", "pressure", "limit", "filter", "ctrl", "state", "mode",
    "cfg", "status", "request", "counter", "timer", "buffer", "frame", "signal",
    "sensor", "actuator", "map", "curve", "offset", "gain", "ramp", "target",
    "actual", "raw", "phys", "diag", "fault", "err", "min", "max", "avg", "sum",
    "hyst", "deb", "valid", "enable", "active", "level", "volt", "curr", "power",
    "torque", "angle", "pos", "rate", "flow", "mass", "duty", "freq", "period",
    "delay", "ref", "cmd", "ack", "seq", "crc", "id", "len", "data", "tx", "rx",
    "msg", "pdu", "entry", "table", "block", "record", "param", "coef", "integ",
    "deriv", "setpoint", "lower", "upper", "idle", "start", "stop", "run",
    "init", "wakeup", "sleep", "lock", "open", "close", "left", "right",
    "front", "rear", "inner", "outer", "main", "aux", "backup", "primary",
    "second", "channel", "slot", "index", "handle", "event", "cycle", "step",
]

# name, byte size, alignment, encoding (u unsigned, s signed, f float), C spelling
BASE_TYPES = [
    ("uint8", 1, 1, "u", "unsigned char"),
    ("sint8", 1, 1, "s", "signed char"),
    ("uint16", 2, 2, "u", "unsigned short"),
    ("sint16", 2, 2, "s", "signed short"),
    ("uint32", 4, 4, "u", "unsigned long"),
    ("sint32", 4, 4, "s", "signed long"),
    ("uint64", 8, 8, "u", "unsigned long long"),
    ("sint64", 8, 8, "s", "signed long long"),
    ("float32", 4, 4, "f", "float"),
    ("float64", 8, 8, "f", "double"),
    ("boolean", 1, 1, "u", "unsigned char"),
    ("bool_t", 1, 1, "b", "_Bool"),
    ("char_t", 1, 1, "u", "char"),
]
SCALAR_WEIGHTS = {"uint8": 22, "sint8": 4, "uint16": 20, "sint16": 10, "uint32": 16,
                  "sint32": 6, "uint64": 1, "sint64": 1, "float32": 10, "float64": 1,
                  "boolean": 8, "bool_t": 2, "char_t": 1}

# Per nesting level of structures: how many per component, and their scalars at
# most (every array expanded). Levels 4 and 5 are reached mostly through pointers.
STRUCTS_PER_LEVEL = [14, 9, 6, 4, 3, 2]
LEAF_CAP = [24, 48, 64, 80, 120, 160]
TYPE_SIZE_CAP = 768    # bytes of one header type


def round_up(value, align):
    return (value + align - 1) // align * align


class Member:
    __slots__ = ("name", "type", "bits", "offset", "shift", "volatile")

    def __init__(self, name, mtype, bits=0, volatile=False):
        self.name, self.type, self.bits, self.volatile = name, mtype, bits, volatile
        self.offset = 0
        self.shift = 0


class Type:
    """One type of the model; `spell` is the C name, empty for inline types."""

    def __init__(self, kind, spell="", size=0, align=1):
        self.id = -1
        self.kind = kind
        self.spell = spell
        self.size = size
        self.align = align
        self.target = None      # typedef, array element, pointer target
        self.dims = []          # array
        self.members = []       # struct, union
        self.enumerators = []   # enum: (name, value)
        self.encoding = ""      # base
        self.packed = False
        self.const = False      # pointer to const
        self.tag = ""           # struct or union tag, when declared with one
        self.leaves = 1         # scalars with every array expanded
        self.level = 0          # nesting level of structures


class Registry:
    def __init__(self):
        self.types = []
        self.names = set()

    def add(self, t):
        t.id = len(self.types)
        self.types.append(t)
        return t

    def unique(self, base):
        name, n = base, 2
        while name in self.names:
            name = "%s%d" % (base, n)
            n += 1
        self.names.add(name)
        return name


def camel(words):
    return words[0] + "".join(w[:1].upper() + w[1:] for w in words[1:])


def pascal(words):
    return "".join(w[:1].upper() + w[1:] for w in words)


def resolve(t):
    while t.kind == "typedef":
        t = t.target
    return t


def layout(t):
    """Offsets, size and alignment by the AAPCS rules that clang applies."""
    if t.kind == "union":
        t.size = 0
        t.align = 1
        for m in t.members:
            m.offset = 0
            t.size = max(t.size, m.type.size)
            t.align = max(t.align, m.type.align)
        t.size = round_up(t.size, t.align)
    else:
        bits = 0
        align = 1
        for m in t.members:
            mt = m.type
            if t.packed:
                m.offset = bits // 8
                bits += mt.size * 8
            elif m.bits:
                unit = mt.size * 8
                if bits % unit + m.bits > unit:
                    bits = round_up(bits, unit)
                m.offset = bits // unit * mt.size
                m.shift = bits - 8 * m.offset
                bits += m.bits
                align = max(align, mt.align)
            else:
                m.offset = round_up((bits + 7) // 8, mt.align)
                bits = (m.offset + mt.size) * 8
                align = max(align, mt.align)
        t.align = 1 if t.packed else align
        t.size = round_up((bits + 7) // 8, t.align)
    t.leaves = sum(m.type.leaves for m in t.members)


def make_array(reg, elem, dims):
    t = Type("array", "", elem.size, elem.align)
    t.target = elem
    t.dims = list(dims)
    count = 1
    for d in dims:
        count *= d
    t.size = elem.size * count
    t.leaves = elem.leaves * count
    return reg.add(t)


def make_pointer(reg, target, const=False):
    t = Type("pointer", "", 4, 4)
    t.target = target
    t.const = const
    return reg.add(t)


class HeaderBuilder:
    """Draws the shared types, component by component, lower levels first."""

    def __init__(self, seed):
        self.rng = random.Random("types:%d" % seed)
        self.reg = Registry()
        self.decls = []          # C text of the header, in declaration order
        self.checks = []         # static assertions of layout_check.c
        self.base = {}
        self.by_comp = {c: {"scalar": [], "enum": [], "bits": [], "reg": [], "arrtd": [],
                            "struct": [[] for _ in LEAF_CAP], "frame": [], "union": [],
                            "cb": []} for c in COMPONENTS}
        self.arrays = {}         # (element id, dims): array type, so each is made once

    # -- names --------------------------------------------------------------------
    def words(self, n):
        return [self.rng.choice(WORDS) for _ in range(n)]

    def type_name(self, comp, suffix="Type"):
        return self.reg.unique("%s_%s%s" % (comp, pascal(self.words(self.rng.randint(1, 3))), suffix))

    def member_names(self, count):
        used = set()
        names = []
        while len(names) < count:
            name = camel(self.words(self.rng.randint(1, 2)))
            if name not in used:
                used.add(name)
                names.append(name)
        return names

    # -- building blocks ----------------------------------------------------------
    def build(self):
        for name, size, align, enc, spell in BASE_TYPES:
            t = Type("base", spell, size, align)
            t.encoding = enc
            self.reg.add(t)
            td = Type("typedef", name, size, align)
            td.target = t
            self.reg.add(td)
            self.reg.names.add(name)
            self.base[name] = td
            self.decls.append("typedef %s %s;\n" % (spell, name))
        self.decls.append("\n")
        plan = [self.enums, self.scalar_typedefs, self.callbacks, self.bit_registers,
                self.array_typedefs]
        for step in plan:
            for comp in COMPONENTS:
                step(comp)
        for level in range(len(LEAF_CAP)):
            for comp in COMPONENTS:
                self.structs(comp, level)
                if level == 0:
                    self.frames(comp)
                if level == 1:
                    self.unions(comp)
        return self

    def scalar(self):
        names = list(SCALAR_WEIGHTS)
        return self.base[self.rng.choices(names, [SCALAR_WEIGHTS[n] for n in names])[0]]

    def emit(self, comment, text):
        self.decls.append("/* %s */\n%s\n" % (comment, text))

    def enums(self, comp):
        big = comp in ("Dem", "Com", "Nvm")
        for i in range(self.rng.randint(6, 10)):
            name = self.type_name(comp)
            if big and i < 3:
                count = self.rng.randint(60, 240)
            elif i == 0:
                count = self.rng.randint(20, 60)
            else:
                count = self.rng.choice([2, 3, 4, 5, 6, 8, 12, 16, 24, 40])
            prefix = name[:-4].upper()
            value = -self.rng.randint(1, 3) if self.rng.random() < 0.15 else 0
            t = Type("enum", "", 4, 4)
            lines = []
            used = set()
            for _ in range(count):
                word = "_".join(self.words(self.rng.randint(1, 2))).upper()
                label = "%s_%s" % (prefix, word)
                n = 2
                while label in used:
                    label = "%s_%s%d" % (prefix, word, n)
                    n += 1
                used.add(label)
                t.enumerators.append((label, value))
                lines.append("  %s = %d," % (label, value))
                value += self.rng.choice([1, 1, 1, 1, 2, 5])
            self.reg.add(t)
            td = Type("typedef", name, 4, 4)
            td.target = t
            self.reg.add(td)
            self.by_comp[comp]["enum"].append(td)
            self.emit("%s: %d states" % (comp, count),
                      "typedef enum {\n%s\n} %s;\n" % ("\n".join(lines), name))

    def scalar_typedefs(self, comp):
        own = self.by_comp[comp]["scalar"]
        for _ in range(self.rng.randint(6, 10)):
            target = self.rng.choice(own) if own and self.rng.random() < 0.2 else self.scalar()
            name = self.type_name(comp)
            td = Type("typedef", name, target.size, target.align)
            td.target = target
            own.append(self.reg.add(td))
            self.decls.append("typedef %s %s;\n" % (target.spell, name))

    def callbacks(self, comp):
        name = self.type_name(comp, "CbType")
        fn = self.reg.add(Type("function"))
        td = Type("typedef", name, 4, 4)
        td.target = make_pointer(self.reg, fn)
        self.by_comp[comp]["cb"].append(self.reg.add(td))
        params = ", ".join("%s %s" % (self.scalar().spell, n) for n in self.member_names(2))
        self.decls.append("typedef void (*%s)(%s);\n" % (name, params))

    def bit_registers(self, comp):
        for _ in range(self.rng.randint(3, 5)):
            storage = self.base[self.rng.choice(["uint8", "uint16", "uint32", "uint32"])]
            names = self.member_names(self.rng.randint(3, 12))
            t = Type("struct")
            for n in names:
                width = self.rng.choice([1, 1, 1, 2, 3, 4, 5, 7, 8])
                width = min(width, storage.size * 8)
                t.members.append(Member(n, storage, width))
            layout(t)
            self.reg.add(t)
            name = self.type_name(comp, "BitsType")
            td = self.typedef_of(t, name)
            self.by_comp[comp]["bits"].append(td)
            body = "".join("  %s %s : %d;\n" % (m.type.spell, m.name, m.bits) for m in t.members)
            self.emit("%s: register bits" % comp, "typedef struct {\n%s} %s;\n" % (body, name))
            self.check(name, t)
            # The register view: the raw word and its bits over one another.
            raw = self.base["uint%d" % (8 * storage.size)]
            u = Type("union")
            u.members = [Member("raw", raw), Member("bits", td)]
            layout(u)
            self.reg.add(u)
            uname = self.type_name(comp, "RegType")
            self.by_comp[comp]["reg"].append(self.typedef_of(u, uname))
            self.emit("%s: register" % comp,
                      "typedef union {\n  %s raw;\n  %s bits;\n} %s;\n" % (raw.spell, name, uname))
            self.check(uname, u)

    def array_typedefs(self, comp):
        for _ in range(self.rng.randint(2, 4)):
            elem = self.base[self.rng.choice(["uint8", "sint16", "uint16", "float32"])]
            if self.rng.random() < 0.5:
                dims = [self.rng.choice([8, 10, 12, 16, 20, 32])]
                name = self.type_name(comp, "Curve%dType" % dims[0])
            else:
                dims = [self.rng.choice([4, 6, 8, 10, 12, 16]), self.rng.choice([4, 6, 8, 12, 16])]
                name = self.type_name(comp, "Map%dx%dType" % tuple(dims))
            arr = make_array(self.reg, elem, dims)
            td = Type("typedef", name, arr.size, arr.align)
            td.target = arr
            td.leaves = arr.leaves
            self.by_comp[comp]["arrtd"].append(self.reg.add(td))
            self.decls.append("typedef %s %s%s;\n" % (elem.spell, name,
                                                        "".join("[%d]" % d for d in dims)))

    def typedef_of(self, t, name):
        td = Type("typedef", name, t.size, t.align)
        td.target = t
        td.leaves = t.leaves
        td.level = t.level
        return self.reg.add(td)

    def check(self, name, t):
        self.checks.append("_Static_assert(sizeof(%s) == %d, \"%s\");\n" % (name, t.size, name))
        for m in t.members:
            if m.name and not m.bits:
                self.checks.append("_Static_assert(__builtin_offsetof(%s, %s) == %d, \"%s.%s\");\n"
                                   % (name, m.name, m.offset, name, m.name))

    # -- member types -------------------------------------------------------------
    def pick(self, comp, key, level=None):
        """A type of this component, or now and then of another one."""
        if self.rng.random() < 0.3:
            comp = self.rng.choice(COMPONENTS)
        pool = self.by_comp[comp][key] if level is None else self.by_comp[comp][key][level]
        return self.rng.choice(pool) if pool else None

    def array_count(self):
        r = self.rng.random()
        if r < 0.6:
            return self.rng.randint(2, 8)
        if r < 0.9:
            return self.rng.randint(9, 32)
        return self.rng.randint(33, 200)

    def member_type(self, comp, level):
        r = self.rng.random()
        if level > 0 and r < (0.25 if level < 4 else 0.2):
            lower = self.pick(comp, "struct", self.rng.randrange(level))
            if lower is not None:
                if self.rng.random() < 0.15:
                    return self.array_of(lower, [self.rng.randint(2, 4)])
                return lower
        if level > 0 and r < (0.45 if level < 4 else 0.6):
            # Configuration and link pointers: their targets add debug types, not scalars.
            target = self.pick(comp, "struct", self.rng.randrange(level))
            if target is not None:
                return make_pointer(self.reg, target, const=self.rng.random() < 0.6)
        r = self.rng.random()
        if r < 0.45:
            return self.scalar()
        if r < 0.60:
            return self.pick(comp, "scalar") or self.scalar()
        if r < 0.68:
            return self.pick(comp, "enum") or self.scalar()
        if r < 0.78:
            return self.array_of(self.scalar(), [self.array_count()])
        if r < 0.81:
            return self.array_of(self.scalar(), [self.rng.randint(2, 12), self.rng.randint(2, 16)])
        if r < 0.84:
            return self.pick(comp, "arrtd") or self.scalar()
        if r < 0.90:
            return self.pick(comp, "reg" if self.rng.random() < 0.6 else "bits") or self.scalar()
        if r < 0.95:
            return make_pointer(self.reg, self.scalar(), const=self.rng.random() < 0.5)
        if r < 0.97:
            return self.pick(comp, "cb") or self.scalar()
        return self.pick(comp, "frame") or self.scalar()

    def array_of(self, elem, dims):
        key = (elem.id, tuple(dims))
        if key not in self.arrays:
            self.arrays[key] = make_array(self.reg, elem, dims)
        return self.arrays[key]

    def fits(self, t, extra):
        size = sum(m.type.size for m in t.members) + extra.size
        leaves = t.leaves + extra.leaves
        return size <= TYPE_SIZE_CAP and leaves <= LEAF_CAP[t.level]

    # -- structures ---------------------------------------------------------------
    def structs(self, comp, level):
        count = STRUCTS_PER_LEVEL[level]
        for _ in range(self.rng.randint(count - 2, count + 2)):
            t = Type("struct")
            t.level = level
            names = self.member_names(self.rng.randint(3, 16 if level == 0 or level >= 4 else 12))
            for n in names:
                mt = self.member_type(comp, level)
                if not self.fits(t, mt):
                    mt = self.scalar()
                vol = mt.kind != "pointer" and self.rng.random() < 0.05
                t.members.append(Member(n, mt, volatile=vol))
                t.leaves += mt.leaves
            if self.rng.random() < 0.1:
                t.members.append(self.anonymous_union())
            layout(t)
            self.reg.add(t)
            name = self.type_name(comp)
            if self.rng.random() < 0.5:
                t.tag = name + "_s"
            self.by_comp[comp]["struct"][level].append(self.typedef_of(t, name))
            self.emit("%s: level %d record" % (comp, level), self.struct_text(t, name))
            self.check(name, t)

    def anonymous_union(self):
        word = self.base["uint32"] if self.rng.random() < 0.5 else self.base["uint16"]
        u = Type("union")
        u.members = [Member(camel(self.words(2)) + "Word", word),
                     Member(camel(self.words(2)) + "Bytes", self.array_of(self.base["uint8"], [word.size]))]
        layout(u)
        self.reg.add(u)
        return Member("", u)

    def frames(self, comp):
        for _ in range(self.rng.randint(3, 5)):
            t = Type("struct")
            t.packed = True
            for n in self.member_names(self.rng.randint(3, 10)):
                r = self.rng.random()
                if r < 0.7:
                    mt = self.base[self.rng.choice(["uint8", "uint8", "uint16", "sint16", "uint32"])]
                else:
                    mt = self.array_of(self.base["uint8"], [self.rng.randint(2, 8)])
                t.members.append(Member(n, mt))
            layout(t)
            self.reg.add(t)
            name = self.type_name(comp, "FrameType")
            t.tag = name + "_s"
            self.by_comp[comp]["frame"].append(self.typedef_of(t, name))
            body = "".join("  %s;\n" % self.declare(m.type, m.name) for m in t.members)
            self.emit("%s: bus frame" % comp,
                      "typedef struct __attribute__((packed)) %s {\n%s} %s;\n" % (t.tag, body, name))
            self.check(name, t)

    def unions(self, comp):
        for _ in range(self.rng.randint(2, 4)):
            u = Type("union")
            for n in self.member_names(self.rng.randint(2, 4)):
                mt = self.member_type(comp, 1)
                if not self.fits(u, mt):
                    mt = self.scalar()
                u.members.append(Member(n, mt))
            layout(u)
            self.reg.add(u)
            name = self.type_name(comp, "UnionType")
            body = "".join("  %s;\n" % self.declare(m.type, m.name) for m in u.members)
            self.by_comp[comp]["struct"][1].append(self.typedef_of(u, name))
            self.emit("%s: overlay" % comp, "typedef union {\n%s} %s;\n" % (body, name))
            self.check(name, u)

    def struct_text(self, t, name):
        lines = []
        for m in t.members:
            if not m.name:
                inner = "".join("    %s;\n" % self.declare(x.type, x.name) for x in m.type.members)
                lines.append("  union {\n%s  };\n" % inner)
            else:
                lines.append("  %s%s;\n" % ("volatile " if m.volatile else "", self.declare(m.type, m.name)))
        head = "typedef struct %s{\n" % (t.tag + " " if t.tag else "")
        return "%s%s} %s;\n" % (head, "".join(lines), name)

    @staticmethod
    def declare(t, name):
        if t.kind == "array":
            return "%s %s%s" % (t.target.spell, name, "".join("[%d]" % d for d in t.dims))
        if t.kind == "pointer":
            return "%s%s *%s" % ("const " if t.const else "", t.target.spell, name)
        return "%s %s" % (t.spell, name)


# -- compile units ----------------------------------------------------------------

class UnitBuilder:
    """Draws the globals of one compile unit from the shared types."""

    def __init__(self, header, seed, index):
        self.h = header
        self.rng = random.Random("unit:%d:%d" % (seed, index))
        self.index = index
        self.comp = COMPONENTS[index % len(COMPONENTS)]
        self.prefix = "%s%d_" % (self.comp, index // len(COMPONENTS))
        self.used = set()
        self.lines = []
        self.globals = []        # (name, type spec) for globals-SIZE.tsv
        self.byte_globals = []   # uint8 globals a pointer can be aimed at

    def name(self):
        while True:
            n = self.prefix + camel([self.rng.choice(WORDS) for _ in range(self.rng.randint(1, 3))])
            if n not in self.used:
                self.used.add(n)
                return n

    def pool(self, key, level=None):
        comp = self.comp if self.rng.random() < 0.6 else self.rng.choice(COMPONENTS)
        p = self.h.by_comp[comp][key]
        return p[level] if level is not None else p

    def build(self):
        count = self.rng.randint(150, 320)
        if self.index == 0:
            self.lines.append("void _start(void) { for (;;); }\n\n")
        for _ in range(count):
            self.one_global()
        if self.index % 50 == 49:
            self.big_global()
        return self

    def one_global(self):
        r = self.rng.random()
        h = self.h
        if r < 0.40:
            t = h.scalar()
        elif r < 0.50:
            t = self.rng.choice(self.pool("scalar")) if self.pool("scalar") else h.scalar()
        elif r < 0.56:
            t = self.rng.choice(self.pool("enum"))
        elif r < 0.66:
            self.pointer_global()
            return
        elif r < 0.85:
            level = self.rng.choice([0, 0, 1, 1, 2, 2, 3])
            candidates = self.pool("struct", level) or self.pool("struct", 0)
            if self.rng.random() < 0.15:
                candidates = self.pool("reg") + self.pool("frame")
            t = self.rng.choice(candidates)
        elif r < 0.93:
            self.array_global(h.scalar(), [self.rng.choice([2, 3, 4, 6, 8, 10, 16, 24, 32, 50, 64, 100, 128, 200])])
            return
        elif r < 0.97:
            elem = self.rng.choice(self.pool("struct", self.rng.choice([0, 0, 1])) or self.pool("struct", 0))
            n = max(2, min(self.rng.randint(2, 16), 120 // max(1, elem.leaves), 1024 // max(1, elem.size)))
            self.array_global(elem, [n])
            return
        else:
            if self.rng.random() < 0.5 and self.pool("arrtd"):
                t = self.rng.choice(self.pool("arrtd"))
            else:
                self.array_global(self.h.base[self.rng.choice(["uint8", "uint16", "sint16"])],
                                  [self.rng.randint(4, 16), self.rng.randint(4, 16)])
                return
        self.scalar_or_record(t)

    def scalar_or_record(self, t):
        name = self.name()
        init = self.rng.random() < (0.45 if resolve(t).kind in ("base", "enum") else 0.2)
        qual = ""
        if self.rng.random() < 0.08:
            qual = "volatile "
        elif init and self.rng.random() < 0.2:
            qual = "const "
        text = "%s%s %s" % (qual, t.spell, name)
        if init:
            text += " = " + self.value(t, 3)
        self.lines.append(text + ";\n")
        self.globals.append((name, str(t.id)))
        if t is self.h.base["uint8"] and not qual:
            self.byte_globals.append(name)

    def pointer_global(self):
        name = self.name()
        r = self.rng.random()
        if r < 0.3:
            t = self.rng.choice(self.pool("cb"))
            self.lines.append("%s %s;\n" % (t.spell, name))
        elif r < 0.6 and self.byte_globals:
            self.lines.append("uint8 *%s = &%s;\n" % (name, self.rng.choice(self.byte_globals)))
        else:
            level = self.rng.choice([3, 4, 5])
            target = self.rng.choice(self.pool("struct", level) or self.pool("struct", 0))
            self.lines.append("const %s *%s;\n" % (target.spell, name))
        self.globals.append((name, "P"))

    def array_global(self, elem, dims):
        name = self.name()
        init = self.rng.random() < 0.25
        text = "%s %s%s" % (elem.spell, name, "".join("[%d]" % d for d in dims))
        if init:
            count = min(dims[0], 6)
            inner = [self.value(elem, 2) if len(dims) == 1 else
                     "{%s}" % ", ".join(self.value(elem, 2) for _ in range(min(dims[1], 4)))
                     for _ in range(count)]
            text += " = {%s}" % ", ".join(inner)
        self.lines.append(text + ";\n")
        self.globals.append((name, "%d%s" % (elem.id, "".join("[%d]" % d for d in dims))))

    def big_global(self):
        """The buffer or calibration map of every fiftieth unit."""
        name = self.name()
        count = self.rng.randint(20000, 100000)
        kind = (self.index // 50) % 3
        if kind == 0:
            elem, dims = self.h.base["uint8"], [count]
            self.lines.append("uint8 %s[%d];\n" % (name, count))
        else:
            elem = self.h.base["uint16" if kind == 1 else "sint16"]
            cols = self.rng.choice([100, 125, 200, 250])
            dims = [count // cols, cols]
            rows = []
            for r in range(dims[0]):
                rows.append("  {" + ",".join(str((r * 37 + c * 11) % 4000 - (0 if kind == 1 else 2000))
                                            for c in range(cols)) + "}")
            self.lines.append("const %s %s[%d][%d] = {\n%s\n};\n" % (elem.spell, name, dims[0], cols,
                                                                     ",\n".join(rows)))
        self.globals.append((name, "%d%s" % (elem.id, "".join("[%d]" % d for d in dims))))

    def value(self, t, depth):
        """A C initialiser of type t: partial for records and arrays, as firmware does."""
        k = resolve(t)
        if k.kind == "base":
            if k.encoding == "f":
                return "%d.%df" % (self.rng.randint(0, 999), self.rng.randint(0, 9))
            if k.encoding == "b":
                return "1"
            top = min(2 ** (8 * k.size - (1 if k.encoding == "s" else 0)) - 1, 100000)
            return "%du" % self.rng.randint(1, top) if k.encoding == "u" else str(self.rng.randint(1, top))
        if k.kind == "enum":
            return self.rng.choice(k.enumerators)[0]
        if k.kind == "pointer":
            return "0"
        if k.kind == "array":
            if depth <= 0:
                return "{0}"
            n = min(k.dims[0], 4)
            if len(k.dims) > 1:
                return "{%s}" % ", ".join("{%s}" % self.value(k.target, depth - 1) for _ in range(n))
            return "{%s}" % ", ".join(self.value(k.target, depth - 1) for _ in range(n))
        if k.kind in ("struct", "union"):
            if depth <= 0:
                return "{0}"
            members = k.members[:1] if k.kind == "union" else k.members[:6]
            parts = []
            for m in members:
                if m.bits:
                    parts.append("1")
                elif not m.name:
                    parts.append("{%s}" % self.value(m.type.members[0].type, depth - 1))
                else:
                    parts.append(self.value(m.type, depth - 1))
            return "{%s}" % ", ".join(parts)
        return "0"


# -- output -----------------------------------------------------------------------

def write_if_changed(path, text):
    """Keeps the file (and its time stamp) when it already holds this text."""
    data = text.encode()
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    except OSError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return True


def type_json(t):
    e = {"k": t.kind, "s": t.size}
    if t.spell:
        e["n"] = t.spell
    if t.kind == "base":
        e["e"] = t.encoding
    elif t.kind in ("typedef", "array"):
        e["t"] = t.target.id
        if t.kind == "array":
            e["d"] = t.dims
    elif t.kind == "enum":
        e["v"] = t.enumerators
    elif t.kind in ("struct", "union"):
        e["m"] = [[m.name, m.type.id, m.offset, m.bits, m.shift] for m in t.members]
    return e


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("size", choices=sorted(UNITS))
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=DEFAULT_SEED)
    ap.add_argument("--units", type=int, help="override the unit count of the size")
    args = ap.parse_args()
    units = args.units or UNITS[args.size]

    src = os.path.join(args.outdir, "src")
    os.makedirs(src, exist_ok=True)
    header = HeaderBuilder(args.seed).build()
    text = ("/* Shared types of the benchmark firmware, generated by gen_firmware.py (seed %d). */\n"
            "#ifndef FW_TYPES_H\n#define FW_TYPES_H\n\n%s#endif\n" % (args.seed, "".join(header.decls)))
    write_if_changed(os.path.join(src, "fw_types.h"), text)
    write_if_changed(os.path.join(src, "layout_check.c"),
                     '#include "fw_types.h"\n' + "".join(header.checks))
    write_if_changed(os.path.join(args.outdir, "fw_types.json"),
                     json.dumps({"seed": args.seed, "types": [type_json(t) for t in header.reg.types]},
                                separators=(",", ":")))

    rows = []
    written = 0
    for k in range(units):
        unit = UnitBuilder(header, args.seed, k).build()
        body = ("/* Unit %d of the benchmark firmware: component %s. */\n#include \"fw_types.h\"\n\n%s"
                % (k, unit.comp, "".join(unit.lines)))
        written += write_if_changed(os.path.join(src, "unit%04d.c" % k), body)
        rows.extend("%s\t%s\n" % g for g in unit.globals)
    write_if_changed(os.path.join(args.outdir, "globals-%s.tsv" % args.size), "".join(rows))
    write_if_changed(os.path.join(args.outdir, "units-%s.txt" % args.size),
                     "".join("unit%04d.c\n" % k for k in range(units)))
    print("gen_firmware: %s: %d units (%d rewritten), %d types, %d globals"
          % (args.size, units, written, len(header.reg.types), len(rows)), file=sys.stderr)


if __name__ == "__main__":
    main()
