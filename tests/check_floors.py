#!/usr/bin/env python3
"""Holds the program's folders to their floors: a file includes only files of
its own folder and of the folders below it, and the logic (everything but
platform/win32 and the entry points) includes no system header beyond the
C++ standard library.

    check_floors.py <project root>

Prints each include that breaks the rule and exits 1; exits 0 when there is none.
"""
import pathlib
import re
import sys

# Each folder with the folders it may include, its own among them.
MAY_INCLUDE = {
    "platform": {"platform"},
    "platform/win32": {"platform", "platform/win32"},
    "entries": {"platform", "entries"},
    "collectors": {"platform", "entries", "collectors"},
    "removal": {"platform", "entries", "removal"},
    "app": {"platform", "entries", "collectors", "removal", "app"},
    "console": {"platform", "entries", "collectors", "console"},
    "programs": {"platform", "platform/win32", "entries", "collectors", "removal", "app", "console"},
}
# Headers CMake makes, by the folder that may include them.
GENERATED = {"build_config.h": {"app"}}
# Where the Windows API may be seen.
SYSTEM_HEADERS_ALLOWED = {"platform/win32", "programs"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(relative: str) -> str:
    """The floor a path (from the root) is on: platform/win32 apart from platform."""
    parts = relative.split("/")
    if parts[0] == "platform" and len(parts) > 2 and parts[1] == "win32":
        return "platform/win32"
    return parts[0]


def check(root: pathlib.Path) -> list[str]:
    faults = []
    for folder in MAY_INCLUDE:
        base = root / folder
        if not base.is_dir():
            continue
        for path in sorted(base.rglob("*")):
            if path.suffix not in {".h", ".cpp", ".in"}:
                continue
            relative = path.relative_to(root).as_posix()
            own = folder_of(relative)
            if own != folder:
                continue  # platform/win32's files are checked as its own floor
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, target = match.groups()
                where = f"{relative}:{number}: {line.strip()}"
                if quote == "<":
                    if target.endswith(".h") and own not in SYSTEM_HEADERS_ALLOWED:
                        faults.append(f"{where}: a system header in the logic")
                    continue
                if target in GENERATED:
                    if own not in GENERATED[target]:
                        faults.append(f"{where}: a generated header this floor may not use")
                    continue
                if "/" not in target:
                    faults.append(f"{where}: name the folder of what is included")
                    continue
                if folder_of(target) not in MAY_INCLUDE.get(own, set()):
                    faults.append(f"{where}: {folder_of(target)}/ is not below {own}/")
    return faults


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = check(root)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
