#!/usr/bin/env python3
"""Names where a benchmark's time went, from the samples bench/sampler.cpp wrote.

    scripts/samples.py <samples file> <program.exe> [depth]

Prints, as shares of the samples: the module each stood in; the innermost
function of the program itself (what it was doing, or what it had asked the
system for); and each of the program's functions with everything it called.
"""
import bisect
import collections
import os
import subprocess
import sys

WINE_DLLS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"


def symbols(image):
    """Sorted (offset, name) of an image's functions, offsets from its image base."""
    try:
        out = subprocess.run(["x86_64-w64-mingw32-nm", "-C", "--defined-only", image],
                             capture_output=True, text=True, check=True).stdout
        header = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", image],
                                capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return [], []
    base = next(int(line.split()[1], 16) for line in header.splitlines() if line.startswith("ImageBase"))
    table = sorted((int(a, 16) - base, name) for a, kind, name in
                   (line.split(" ", 2) for line in out.splitlines() if line.count(" ") >= 2)
                   if kind in "tT")
    return [t[0] for t in table], [t[1] for t in table]


def main():
    path, program = sys.argv[1], sys.argv[2]
    depth = int(sys.argv[3]) if len(sys.argv) > 3 else 40
    program_name = os.path.basename(program).lower()
    tables = {}

    def name(frame):
        module, _, offset = frame.partition("+")
        key = module.lower()
        if key not in tables:
            image = program if key == program_name else os.path.join(WINE_DLLS, key)
            tables[key] = symbols(image) if os.path.exists(image) else ([], [])
        starts, names = tables[key]
        at = bisect.bisect_right(starts, int(offset, 16)) - 1
        return (module, names[at] if at >= 0 else "?")

    samples = [line.split() for line in open(path) if line.strip()]
    total = len(samples)
    modules, innermost, inclusive = collections.Counter(), collections.Counter(), collections.Counter()
    for frames in samples:
        named = [name(f) for f in frames]
        modules[named[0][0]] += 1
        ours = [n for m, n in named if m.lower() == program_name]
        if ours:
            innermost[ours[0] if named[0][0].lower() == program_name else f"{ours[0]}  -> {named[0][0]}"] += 1
        for n in set(ours):
            inclusive[n] += 1
    print(f"{total} samples")
    for title, counts in (("module", modules), ("innermost of the program", innermost),
                          ("with what it called", inclusive)):
        print(f"\n== {title}")
        for key, count in counts.most_common(depth):
            print(f"{100.0 * count / total:6.1f}%  {key[-160:]}")


if __name__ == "__main__":
    main()
