#!/usr/bin/env python3
"""Checks the application manifest of a built PE file (resource 1 of type RT_MANIFEST, the one
Windows reads when it starts a program): on the dustweave programs, UTF-8 as the process code
page and long paths; on the modules, none at all, since a module runs under its host's. Reads
the resource table with pe_version.py's reader; standard library only."""
import argparse
import os
import sys
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_version import PeError, resource  # noqa: E402

RT_MANIFEST = 24
SETTINGS = {  # element (with its namespace) -> the text it must hold
    "{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage": "UTF-8",
    "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}longPathAware": "true",
}
WINDOWS_SETTINGS = ("{urn:schemas-microsoft-com:asm.v3}application/"
                    "{urn:schemas-microsoft-com:asm.v3}windowsSettings")


def manifest_of(data):
    """The manifest's bytes, or None when the file has none."""
    try:
        return resource(data, RT_MANIFEST)[1]
    except PeError as error:
        if "no resource entry" in str(error) or "no resource table" in str(error):
            return None
        raise


def problems(manifest, wanted):
    if not wanted:
        return [] if manifest is None else [f"has a manifest of {len(manifest)} bytes, wanted none"]
    if manifest is None:
        return ["has no manifest"]
    try:
        root = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        return [f"manifest is not XML: {error}"]
    settings = root.find(WINDOWS_SETTINGS)
    if settings is None:
        return ["manifest has no application/windowsSettings"]
    found = []
    for element, text in SETTINGS.items():
        value = settings.find(element)
        got = None if value is None else (value.text or "").strip()
        if got != text:
            found.append(f"{element.split('}')[1]} is {got!r}, wanted {text!r}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("file")
    kind = parser.add_mutually_exclusive_group(required=True)
    kind.add_argument("--utf8", action="store_true", help="a program: UTF-8 code page, long paths")
    kind.add_argument("--none", action="store_true", help="a module: no manifest")
    args = parser.parse_args()
    try:
        with open(args.file, "rb") as f:
            manifest = manifest_of(f.read())
    except (OSError, PeError) as error:
        print(f"FAIL {args.file}: {error}", file=sys.stderr)
        return 1
    listed = problems(manifest, args.utf8)
    print(f"{args.file}: " + ("no manifest" if manifest is None else f"manifest of {len(manifest)} bytes"))
    for problem in listed:
        print(f"FAIL {problem}", file=sys.stderr)
    return 1 if listed else 0


if __name__ == "__main__":
    sys.exit(main())
