"""Holds what the PE image parser reads (through tests/tools/pe_facts_dump)
against pefile's reading of the same real images: the import hash, the version
texts of the first language the Translation lists, and an Authenticode digest
computed here from pefile's header fields.

    check_pe_facts.py <pe_facts_dump> [image ...]

Without images it reads a handful of Wine's own PE files, a copy of one with a
certificate table appended, and, when MinGW-w64 is installed, a program built
here that imports by ordinal. Exits 77 (skipped) when pefile is missing."""
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

try:
    import pefile
except ImportError:
    print("pefile is not installed: skipped")
    sys.exit(77)

WINE = "/usr/lib/x86_64-linux-gnu/wine"
IMAGES = [
    "x86_64-windows/ws2_32.dll",      # the Winsock library itself
    "x86_64-windows/oleaut32.dll",
    "x86_64-windows/comdlg32.dll",    # imports shell32 by ordinal
    "x86_64-windows/shell32.dll",     # imports shlwapi by ordinal
    "x86_64-windows/ntdll.dll",       # imports nothing
    "x86_64-windows/notepad.exe",     # imports comctl32 by ordinal
    "x86_64-windows/winecfg.exe",
    "x86_64-windows/regedit.exe",
    "i386-windows/zlib1.dll",         # PE32
]

# A program whose Winsock, OLE Automation and other imports go by ordinal, as
# some real programs link them; built only where MinGW-w64 is at hand.
ORDINAL_PROGRAM = r"""
int __stdcall accept(void);
int __stdcall WSAStartup(void);
int __stdcall SysAllocString(void);
int __stdcall Nameless(void);
int main(void) { return accept() + WSAStartup() + SysAllocString() + Nameless(); }
"""
ORDINAL_LIBRARIES = {
    "ws2_32.dll": "accept @1 NONAME\nWSAStartup @115 NONAME\n",
    "oleaut32.dll": "SysAllocString @2 NONAME\n",
    "vqtest.dll": "Nameless @7 NONAME\n",
}


def ordinal_program(folder):
    gcc, dlltool = shutil.which("x86_64-w64-mingw32-gcc"), shutil.which("x86_64-w64-mingw32-dlltool")
    if not gcc or not dlltool:
        return None
    libraries = []
    for name, exports in ORDINAL_LIBRARIES.items():
        definition = os.path.join(folder, name + ".def")
        with open(definition, "w") as out:
            out.write(f"LIBRARY {name}\nEXPORTS\n{exports}")
        library = os.path.join(folder, "lib" + name + ".a")
        subprocess.run([dlltool, "-d", definition, "-l", library], check=True)
        libraries.append(library)
    source = os.path.join(folder, "ordinals.c")
    with open(source, "w") as out:
        out.write(ORDINAL_PROGRAM)
    program = os.path.join(folder, "ordinals.exe")
    subprocess.run([gcc, "-o", program, source, *libraries], check=True)
    return program


def with_certificate_table(image, folder):
    """A copy of the image with a certificate table appended and named in its directory."""
    with open(image, "rb") as source:
        data = bytearray(source.read())
    pe = pefile.PE(data=bytes(data), fast_load=True)
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].get_file_offset()
    data += b"\0" * (-len(data) % 8)
    certificate = struct.pack("<IHH", 64, 0x200, 2) + bytes(range(56))
    struct.pack_into("<II", data, entry, len(data), len(certificate))
    data += certificate
    copy = os.path.join(folder, "signed-" + os.path.basename(image))
    with open(copy, "wb") as out:
        out.write(data)
    return copy


def authenticode_digest(pe, data):
    """SHA-256 of the file without its checksum, certificate-table entry and certificate table."""
    left_out = [(pe.OPTIONAL_HEADER.get_file_offset() + 64, 4)]
    if pe.OPTIONAL_HEADER.NumberOfRvaAndSizes >= 5:
        entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
        left_out.append((entry.get_file_offset(), 8))
        if entry.Size and entry.VirtualAddress + entry.Size <= len(data):
            left_out.append((entry.VirtualAddress, entry.Size))
    digest, at = hashlib.sha256(), 0
    for offset, length in sorted(left_out):
        digest.update(data[at:offset])
        at = max(at, offset + length)
    digest.update(data[at:])
    return digest.hexdigest()


def first_translation(data, var):
    """The first language/code page pair of a Translation (pefile keeps the last one)."""
    key_end = var.get_file_offset() + 6 + 2 * (len("Translation") + 1)
    language, code_page = struct.unpack_from("<HH", data, (key_end + 3) & ~3)
    return f"{language:04x}{code_page:04x}"


def version_texts(pe, data):
    if not hasattr(pe, "VS_VERSIONINFO"):
        return None
    tables, translation = [], None
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        if info.Key == b"StringFileInfo":
            tables += info.StringTable
        elif info.Key == b"VarFileInfo" and translation is None:
            for var in info.Var:
                if b"Translation" in getattr(var, "entry", {}):
                    translation = first_translation(data, var)
                    break
    chosen = next((t for t in tables if t.LangID.decode().lower() == translation), tables[0] if tables else None)
    entries = chosen.entries if chosen else {}
    text = lambda key: entries.get(key, b"").decode("utf-8")
    return {"description": text(b"FileDescription"), "company": text(b"CompanyName"),
            "version": text(b"FileVersion")}


def problems_of(fact):
    path = fact["path"]
    with open(path, "rb") as source:
        data = source.read()
    pe = pefile.PE(path)
    problems = []
    imphash = pe.get_imphash()
    ours = hashlib.md5(fact["imports"].encode()).hexdigest() if fact["imports"] is not None else ""
    if ours != imphash:
        problems.append(f"import hash {ours} (text {fact['imports']!r:.200}), pefile {imphash}")
    digest = hashlib.sha256(b"".join(data[o:o + n] for o, n in fact["ranges"] or [])).hexdigest()
    if fact["ranges"] is None or digest != authenticode_digest(pe, data):
        problems.append(f"Authenticode ranges {fact['ranges']} give another digest")
    expected = version_texts(pe, data)
    if fact["version"] != expected:
        problems.append(f"version texts {fact['version']}, pefile {expected}")
    return [f"{path}: {problem}" for problem in problems]


def main():
    dump, images = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory() as folder:
        if not images:
            images = [os.path.join(WINE, image) for image in IMAGES if os.path.exists(os.path.join(WINE, image))]
            if not images:
                print("no Wine PE images here: skipped")
                sys.exit(77)
            images.append(with_certificate_table(images[-1], folder))
            images += filter(None, [ordinal_program(folder)])
        output = subprocess.run([dump, *images], check=True, capture_output=True, text=True).stdout
        facts = [json.loads(line) for line in output.splitlines()]
        problems = [problem for fact in facts for problem in problems_of(fact)]
        for problem in problems:
            print(problem)
        with_imports = sum(bool(fact["imports"]) for fact in facts)
        with_version = sum(bool(fact["version"]) for fact in facts)
        print(f"{len(facts)} images ({with_imports} with imports, {with_version} with version texts), "
              f"{len(problems)} disagreements with pefile")
        for fact in facts:
            if fact["path"].endswith("ordinals.exe"):
                ordinals = [i for i in fact["imports"].split(",") if not i.startswith(("kernel32", "msvcrt"))]
                print("imports by ordinal:", ordinals)
        sys.exit(1 if problems else 0)


main()
