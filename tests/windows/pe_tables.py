#!/usr/bin/env python3
"""Checks what a Windows loader sees of a built PE file, from `objdump -p`: its machine, whether
it is a DLL, the names it exports and the DLLs it imports. Used on the two .p modules (exactly
`_mod_descrip`, only KERNEL32.dll and msvcrt.dll) and on the dustweave programs."""
import argparse
import re
import subprocess
import sys

FORMATS = {"x86-64": ("pei-x86-64", "020b"), "i386": ("pei-i386", "010b")}


def read_tables(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    fmt = re.search(r"file format (\S+)", text)
    magic = re.search(r"^Magic\s+([0-9a-f]+)", text, re.M)
    characteristics = re.search(r"^Characteristics[^\n]*\n((?:\t[^\n]*\n)*)", text, re.M)
    exports = []
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\t\[[^\n]*\n)*)", text)
    if table:
        exports = [line.split("]", 1)[1].strip() for line in table.group(1).splitlines()]
    return {
        "format": fmt.group(1) if fmt else None,
        "magic": magic.group(1) if magic else None,
        "dll": bool(characteristics and re.search(r"^\tDLL$", characteristics.group(1), re.M)),
        "exports": exports,
        "imports": re.findall(r"DLL Name: (\S+)", text),
    }


def problems(tables, machine, dll, exports, allowed_imports):
    fmt, magic = FORMATS[machine]
    found = []
    if (tables["format"], tables["magic"]) != (fmt, magic):
        found.append(f"machine: {tables['format']} (magic {tables['magic']}), wanted {fmt} ({magic})")
    if tables["dll"] != dll:
        found.append(f"DLL flag is {tables['dll']}, wanted {dll}")
    if exports is not None and tables["exports"] != exports:
        found.append(f"exports {tables['exports']}, wanted exactly {exports}")
    allowed = {name.lower() for name in allowed_imports}
    extra = [name for name in tables["imports"] if name.lower() not in allowed]
    if extra:
        found.append(f"imports {extra} beside the allowed {sorted(allowed_imports)}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("file")
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--machine", choices=sorted(FORMATS), required=True)
    parser.add_argument("--dll", action="store_true", help="the file must be a DLL (else a program)")
    parser.add_argument("--exports", nargs="*", help="the exact export names, in order")
    parser.add_argument("--imports", nargs="+", required=True, help="the DLLs it may import")
    args = parser.parse_args()

    tables = read_tables(args.objdump, args.file)
    print(f"{args.file}: {tables['format']}, {'DLL' if tables['dll'] else 'program'}, "
          f"exports {tables['exports']}, imports {tables['imports']}")
    found = problems(tables, args.machine, args.dll, args.exports, args.imports)
    for problem in found:
        print(f"FAIL {problem}", file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
