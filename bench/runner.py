#!/usr/bin/env python3
"""Times the tool's three modes on the benchmark firmware against their baselines.

Each repetition runs every command once, the order reversed every other time,
so that a tool run and its baselines always stand side by side; wall time and
peak RSS come from wait4() of each child. The report gives medians, the ratio
of each mode to its baseline (the median of the per-repetition ratios), peak RSS
against the input sizes, the targets, and with several sizes how time and memory
grow with the size of .debug_info.

Usage: runner.py --tool EXE --data DIR --sizes small,medium [--reps N] [--dwarf 5]
                 [--modes list,generate,update] [--memory-limit-gb 16]
"""

import argparse
import os
import resource
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import elfsize  # noqa: E402

MB = 1e6

# mode: (time target, RSS target as a multiple of the inputs, size the targets are set on)
TARGETS = {"list": (0.25, 6, "medium"), "update": (0.75, 8, "medium"), "generate": (2.0, 6, "small")}


MEMORY_LIMIT = 16 << 30  # address space of one command; set by --memory-limit-gb


def limit_memory():
    # A command that runs away fails on its own instead of pushing the shared
    # machine into the OOM killer.
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_LIMIT, MEMORY_LIMIT))


def run(cmd, stdout=None):
    """Wall seconds, peak RSS in bytes, exit status and the tail of stderr."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=stdout or null, stderr=subprocess.PIPE,
                                preexec_fn=limit_memory)
        err = proc.stderr.read()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_maxrss * 1024, proc.returncode, err.decode(errors="replace")


class Sample:
    def __init__(self):
        self.times = []
        self.rss = []

    def add(self, wall, rss):
        self.times.append(wall)
        self.rss.append(rss)

    def time(self):
        return statistics.median(self.times)

    def peak(self):
        return statistics.median(self.rss)


class SizeRun:
    def __init__(self, args, size):
        self.size = size
        d = args.data
        self.elf = os.path.join(d, "firmware-%s-dwarf%s.elf" % (size, args.dwarf))
        self.a2l = os.path.join(d, "a2l-%s-dwarf%s-moved.a2l" % (size, args.dwarf))
        self.gen_out = os.path.join(d, "out-generate-%s.a2l" % size)
        self.upd_out = os.path.join(d, "out-update-%s.a2l" % size)
        self.vars = os.path.join(d, "variables-all.json")
        self.tool = args.tool
        # Generate mode on the large firmware writes several GB of A2L: only on request.
        self.modes = args.modes or (["list", "update"] if size == "large" else ["list", "generate", "update"])
        self.reps = args.reps or (3 if size == "large" else 5)
        self.samples = {}
        self.failed = {}
        self.notes = {}
        self.debug_info = elfsize.section_sizes(self.elf).get(".debug_info", (0, True))[0]

    def commands(self):
        """Groups of (key, command) for one round; a group keeps its inner order."""
        groups = [[("dwarfdump", ["llvm-dwarfdump", "--debug-info", self.elf])],
                  [("cat elf", ["cat", self.elf])]]
        if "list" in self.modes:
            groups.append([("list", [self.tool, "-l", self.elf])])
        if "update" in self.modes:
            groups += [[("cat a2l", ["cat", self.a2l])], [("wc a2l", ["wc", "-w", self.a2l])],
                       [("update", [self.tool, "-u", self.a2l, "-o", self.upd_out, self.elf])]]
        if "generate" in self.modes:
            # The word count reads the file that the tool has just written.
            groups.append([("generate", [self.tool, "-v", self.vars, "-o", self.gen_out, self.elf]),
                           ("wc generated", ["wc", "-w", self.gen_out])])
        return groups

    def measure(self):
        groups = self.commands()
        for rep in range(self.reps):
            order = groups if rep % 2 == 0 else groups[::-1]
            for key, cmd in (c for g in order for c in g):
                if key in self.failed or (key == "wc generated" and "generate" in self.failed):
                    continue
                wall, rss, status, err = run(cmd)
                if status != 0:
                    self.failed[key] = "exit status %d: %s" % (status, err.strip()[-400:])
                    self.samples.pop(key, None)
                    continue
                if rep == 0 and key in ("list", "update", "generate") and err.strip():
                    self.notes[key] = err.strip().splitlines()[-1]
                self.samples.setdefault(key, Sample()).add(wall, rss)
            print("  %s: round %d of %d done" % (self.size, rep + 1, self.reps), file=sys.stderr)

    def baseline(self, mode):
        return {"list": ["dwarfdump"], "update": ["dwarfdump", "cat elf", "cat a2l", "wc a2l"],
                "generate": ["dwarfdump", "wc generated"]}[mode]

    def inputs(self, mode):
        elf = os.path.getsize(self.elf)
        if mode == "list":
            return elf, "ELF"
        if mode == "update":
            return elf + os.path.getsize(self.a2l), "ELF+A2L"
        out = os.path.getsize(self.gen_out) if os.path.exists(self.gen_out) else 0
        return elf + out, "ELF+output"

    def ratio(self, mode, parts):
        """Median over the repetitions of tool time / baseline time."""
        if mode not in self.samples or any(p not in self.samples for p in parts):
            return None
        if any(len(self.samples[p].times) != len(self.samples[mode].times) for p in parts):
            return None
        tool = self.samples[mode].times
        base = [sum(self.samples[p].times[i] for p in parts) for i in range(len(tool))]
        return statistics.median(t / b for t, b in zip(tool, base) if b > 0)

    def report(self):
        elf_mb = os.path.getsize(self.elf) / MB
        print("\n== %s firmware: %s, %.1f MB, .debug_info %.2f MB; %d round(s), medians"
              % (self.size, os.path.basename(self.elf), elf_mb, self.debug_info / MB, self.reps))
        if "update" in self.modes:
            print("   update input %s, %.1f MB" % (os.path.basename(self.a2l), os.path.getsize(self.a2l) / MB))
        print("   %-9s %9s %9s %8s %8s   %9s %9s %7s" % ("mode", "tool s", "base s", "ratio", "target",
                                                     "RSS MB", "RSS/in", "target"))
        for mode in ("list", "generate", "update"):
            if mode not in self.modes:
                continue
            if mode in self.failed:
                print("   %-9s FAILED: %s" % (mode, self.failed[mode]))
                continue
            parts = self.baseline(mode)
            t_target, m_target, on = TARGETS[mode]
            ratio = self.ratio(mode, parts)
            s = self.samples[mode]
            base = sum(self.samples[p].time() for p in parts if p in self.samples)
            size, what = self.inputs(mode)
            mem = s.peak() / size if size else 0
            verdict = ""
            if on == self.size and ratio is not None:
                verdict = "  time %s, memory %s" % ("ok" if ratio <= t_target else "MISSED",
                                                    "ok" if mem <= m_target else "MISSED")
            print("   %-9s %9.3f %9.3f %8s %8s   %9.1f %8.2fx %7s%s"
                  % (mode, s.time(), base, "%.3f" % ratio if ratio is not None else "-",
                     "<=%.2f" % t_target, s.peak() / MB, mem, "<=%dx" % m_target, verdict))
            if mode == "list":
                r = self.ratio("list", ["cat elf"])
                if r is not None:
                    print("   %-9s %9s %9.3f %8.1f %8s   (against the read floor: cat of the ELF file)"
                          % ("  vs cat", "", self.samples["cat elf"].time(), r, ""))
            print("   %-9s baseline: %s (inputs for RSS: %s %.1f MB; targets are set on the %s firmware)"
                  % ("", " + ".join(parts), what, size / MB, on))
            if mode in self.notes:
                print("   %-9s tool said: %s" % ("", self.notes[mode]))
        for key in ("dwarfdump", "cat elf", "cat a2l", "wc a2l", "wc generated"):
            if key in self.failed:
                print("   baseline %s FAILED: %s" % (key, self.failed[key]))


def growth(runs):
    """Time and memory against .debug_info size, size by size; a mode left out
    on some size shows "-" there."""
    print("\n== growth from %s (linear growth: each step's factor near the .debug_info factor)"
          % " to ".join(r.size for r in runs))
    steps = list(zip(runs, runs[1:]))
    print("   %-20s" % "" + "".join("%12s" % r.size for r in runs)
          + "".join("%14s" % ("x %s>%s" % (a.size[0], b.size[0])) for a, b in steps))

    def row(label, values):
        line = "   %-20s" % label + "".join("%12s" % ("-" if v is None else "%.3f" % v) for v in values)
        line += "".join("%14s" % ("-" if a is None or b is None or not a else "%.2f" % (b / a))
                        for a, b in zip(values, values[1:]))
        print(line)

    row(".debug_info MB", [r.debug_info / MB for r in runs])
    for mode in ("list", "generate", "update"):
        if sum(mode in r.samples for r in runs) < 2:
            continue
        row(mode + " time s", [r.samples[mode].time() if mode in r.samples else None for r in runs])
        row(mode + " peak RSS MB", [r.samples[mode].peak() / MB if mode in r.samples else None for r in runs])
        row(mode + " s per MB", [r.samples[mode].time() / (r.debug_info / MB) if mode in r.samples else None
                                 for r in runs])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tool", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--sizes", required=True)
    ap.add_argument("--reps", type=int, default=0)
    ap.add_argument("--dwarf", default="5")
    ap.add_argument("--modes", default="", help="default: all three, large without generate")
    ap.add_argument("--memory-limit-gb", type=float, default=16)
    args = ap.parse_args()
    args.modes = [m for m in args.modes.split(",") if m]
    global MEMORY_LIMIT
    MEMORY_LIMIT = int(args.memory_limit_gb * (1 << 30))
    runs = []
    for size in args.sizes.split(","):
        r = SizeRun(args, size)
        r.measure()
        r.report()
        sys.stdout.flush()
        runs.append(r)
    if len(runs) > 1:
        growth(runs)
    failed = any(m in r.failed for r in runs for m in ("list", "generate", "update"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
