#!/usr/bin/env python3
"""Reads a PE file's version as Windows shows it under Properties > Details (the VERSIONINFO
resource: fixed file info and StringFileInfo texts) and checks it against VERSION, the expected
description and file name, and that the PE header carries no link time. Standard library only."""
import argparse
import struct
import sys

RT_VERSION = 16
RESOURCE_DIRECTORY = 2          # index of the resource table among the data directories
FIXED_SIGNATURE = 0xFEEF04BD
FILE_TYPES = {"dll": 2, "app": 1}


class PeError(Exception):
    """The file is not a PE file this script can read, or has no version resource."""


def unpack(fmt, data, offset):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise PeError(f"truncated at offset {offset}")
    return struct.unpack_from(fmt, data, offset)


def read_headers(data):
    """Returns the link time, the resource table's RVA and the sections (rva, size, offset)."""
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    (pe,) = unpack("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    _, sections, timestamp, _, _, optional_size, _ = unpack("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    (magic,) = unpack("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise PeError(f"unknown optional header magic {magic:#x}")
    (count,) = unpack("<I", data, directories - 4)
    rsrc_rva = unpack("<I", data, directories + 8 * RESOURCE_DIRECTORY)[0] if count > RESOURCE_DIRECTORY else 0
    table = optional + optional_size
    found = []
    for i in range(sections):
        vsize, rva, raw_size, raw_offset = unpack("<IIII", data, table + 40 * i + 8)
        found.append((rva, max(vsize, raw_size), raw_offset))
    return timestamp, rsrc_rva, found


def file_offset(sections, rva):
    for start, size, offset in sections:
        if start <= rva < start + size:
            return offset + rva - start
    raise PeError(f"RVA {rva:#x} lies in no section")


def first_entry(data, directory, wanted_id=None):
    """The offset field of the entry with wanted_id (or of the first entry) of a resource directory."""
    named, ids = unpack("<HH", data, directory + 12)
    for i in range(named + ids):
        name, target = unpack("<II", data, directory + 16 + 8 * i)
        if wanted_id is None or (not name & 0x80000000 and name == wanted_id):
            return target
    raise PeError(f"no resource entry {wanted_id}" if wanted_id else "empty resource directory")


def resource(data, type_id):
    """The link time, and the bytes of the first resource of type_id (PeError when none)."""
    timestamp, rsrc_rva, sections = read_headers(data)
    if not rsrc_rva:
        raise PeError("no resource table")
    base = file_offset(sections, rsrc_rva)
    directory = base
    for wanted in (type_id, None):  # the type, then its first name
        target = first_entry(data, directory, wanted)
        if not target & 0x80000000:
            raise PeError("resource directory ends early")
        directory = base + (target & 0x7FFFFFFF)
    target = first_entry(data, directory)  # the first language: the data entry
    if target & 0x80000000:
        raise PeError("resource directory nests too deep")
    rva, size = unpack("<II", data, base + target)
    start = file_offset(sections, rva)
    return timestamp, data[start:start + size]


def version_resource(data):
    """The link time, and the bytes of the first RT_VERSION resource."""
    return resource(data, RT_VERSION)


def align4(offset):
    return (offset + 3) & ~3


def parse_block(data, offset):
    """One VS_VERSIONINFO block: (key, value bytes or text, children, offset past the block)."""
    length, value_length, kind = unpack("<HHH", data, offset)
    end = offset + length
    if length < 6 or end > len(data):
        raise PeError(f"version block of {length} bytes at offset {offset}")
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        if key_end >= end:
            raise PeError("block key runs past its block")
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    if kind == 1:  # text, its length counted in characters
        value_end = min(value_start + 2 * value_length, end)
        value = data[value_start:value_end].decode("utf-16-le").split("\0", 1)[0]
    else:
        value_end = value_start + value_length
        value = data[value_start:value_end]
    children, child = [], align4(value_end)
    while child + 6 <= end:
        parsed = parse_block(data, child)
        children.append(parsed[:3])
        child = align4(parsed[3])
    return key, value, children, end


def read_version(data):
    """The version as Windows shows it: fixed info fields and the StringFileInfo texts."""
    timestamp, resource = version_resource(data)
    key, fixed, children, _ = parse_block(resource, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        raise PeError(f"version resource starts with {key!r}, {len(fixed)} bytes of fixed info")
    words = struct.unpack_from("<13I", fixed)
    if words[0] != FIXED_SIGNATURE:
        raise PeError(f"fixed file info signature {words[0]:#x}")
    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, entries in tables:
                strings.update({name: text for name, text, _ in entries})
    return {
        "link time": timestamp,
        "file version": dotted(words[2], words[3]),
        "product version": dotted(words[4], words[5]),
        "file type": words[9],
        "strings": strings,
    }


def dotted(high, low):
    return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"


def problems(found, version, description, file_name, file_type):
    four_parts = ".".join((version.split(".") + ["0"] * 4)[:4])
    wanted = {
        "FileVersion": four_parts,
        "ProductVersion": version,
        "FileDescription": description,
        "OriginalFilename": file_name,
        "ProductName": "dustweave",
        "LegalCopyright": "Copyright (c) the dustweave authors",
    }
    listed = [f"{name} is {found['strings'].get(name)!r}, wanted {text!r}"
              for name, text in wanted.items() if found["strings"].get(name) != text]
    for field, value in (("file version", four_parts), ("product version", four_parts),
                         ("file type", FILE_TYPES[file_type]), ("link time", 0)):
        if found[field] != value:
            listed.append(f"{field} is {found[field]!r}, wanted {value!r}")
    return listed


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("file")
    parser.add_argument("--version", required=True, help="the project's version, as in VERSION")
    parser.add_argument("--description", required=True, help="the expected FileDescription")
    parser.add_argument("--file-name", required=True, help="the expected OriginalFilename")
    parser.add_argument("--type", choices=sorted(FILE_TYPES), required=True)
    args = parser.parse_args()
    try:
        with open(args.file, "rb") as f:
            found = read_version(f.read())
    except (OSError, PeError) as error:
        print(f"FAIL {args.file}: {error}", file=sys.stderr)
        return 1
    print(f"{args.file}: file version {found['file version']}, link time {found['link time']}, "
          f"{found['strings']}")
    listed = problems(found, args.version, args.description, args.file_name, args.type)
    for problem in listed:
        print(f"FAIL {problem}", file=sys.stderr)
    return 1 if listed else 0


if __name__ == "__main__":
    sys.exit(main())
