#!/usr/bin/env python3
"""Makes the program files the console edition's signer and hash tests list.

From a program (the console edition itself) it makes, in the output folder:
  unsigned.exe   a plain copy
  signed.exe     the copy signed by osslsigncode with a test signer's certificate
  tampered.exe   signed.exe with one byte of its code changed after signing
  test-root.cer  the test authority that issued the signer's certificate (DER)
  expected.txt   one line a file: its name, then name=value pairs, each value
                 worked out here apart from the program: md5, sha1, sha256
                 (hashlib), pesha1, pesha256 (the Authenticode hash, from the
                 header fields pefile reads), imp (pefile's get_imphash), and
                 for signed.exe the digest its signature holds (osslsigncode).
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

import pefile


def authenticode_pieces(path):
    """The file without its checksum, its certificate-table entry and its certificate table."""
    pe = pefile.PE(path, fast_load=True)
    data = open(path, "rb").read()
    checksum = pe.OPTIONAL_HEADER.get_file_offset() + 64
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    entry = security.get_file_offset()
    table_start, table_end = security.VirtualAddress, security.VirtualAddress + security.Size
    if security.Size == 0:
        table_start = table_end = len(data)
    pe.close()
    return [data[:checksum], data[checksum + 4:entry], data[entry + 8:table_start], data[table_end:]]


def facts(path):
    data = open(path, "rb").read()
    line = {name: hashlib.new(name, data).hexdigest().upper() for name in ("md5", "sha1", "sha256")}
    for name in ("sha1", "sha256"):
        digest = hashlib.new(name)
        for piece in authenticode_pieces(path):
            digest.update(piece)
        line["pe" + name] = digest.hexdigest().upper()
    pe = pefile.PE(path)
    line["imp"] = pe.get_imphash().upper()
    pe.close()
    return line


def run(*command, cwd):
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def make_certificates(work):
    with open(os.path.join(work, "signer.ext"), "w") as ext:
        ext.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "root.key", "-out", "root.pem",
        "-days", "3650", "-subj", "/CN=Vellorin Test Root", "-addext", "basicConstraints=critical,CA:TRUE",
        "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=work)
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key", "-out", "signer.csr",
        "-subj", "/CN=Vellorin Test Signer/O=Vellorin Test Makers", cwd=work)
    run("openssl", "x509", "-req", "-in", "signer.csr", "-CA", "root.pem", "-CAkey", "root.key", "-CAcreateserial",
        "-out", "signer.pem", "-days", "3650", "-extfile", "signer.ext", cwd=work)
    run("openssl", "x509", "-in", "root.pem", "-outform", "der", "-out", "root.cer", cwd=work)


def signature_digest(path, work):
    """The message digest the signature holds, as osslsigncode reads it."""
    result = subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", os.path.join(work, "root.pem")],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    found = re.search(r"Current message digest\s*:\s*([0-9A-Fa-f]+)", result.stdout)
    if not found:
        sys.exit("osslsigncode printed no message digest:\n" + result.stdout)
    return found.group(1).upper()


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make_certificates(work)
        unsigned = os.path.join(out, "unsigned.exe")
        signed = os.path.join(out, "signed.exe")
        tampered = os.path.join(out, "tampered.exe")
        shutil.copyfile(source, unsigned)
        for stale in (signed, tampered):
            if os.path.exists(stale):
                os.remove(stale)
        run("osslsigncode", "sign", "-certs", os.path.join(work, "signer.pem"), "-key",
            os.path.join(work, "signer.key"), "-h", "sha256", "-n", "Vellorin test image", "-in", unsigned,
            "-out", signed, cwd=work)
        # One byte of the code, well inside the first section, changed after signing.
        data = bytearray(open(signed, "rb").read())
        pe = pefile.PE(signed, fast_load=True)
        code = pe.sections[0].PointerToRawData + pe.sections[0].SizeOfRawData // 2
        pe.close()
        data[code] ^= 0xFF
        open(tampered, "wb").write(data)
        shutil.copyfile(os.path.join(work, "root.cer"), os.path.join(out, "test-root.cer"))
        lines = []
        for name in ("unsigned.exe", "signed.exe", "tampered.exe"):
            line = facts(os.path.join(out, name))
            if name == "signed.exe":
                line["signature"] = signature_digest(signed, work)
            lines.append(name + " " + " ".join(f"{key}={value}" for key, value in line.items()))
    with open(os.path.join(out, "expected.txt"), "w", newline="\r\n") as expected:
        expected.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
