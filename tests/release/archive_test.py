#!/usr/bin/env python3
"""The release archives as a user gets them: each unpacked into a fresh folder, its members,
modes, line ends and SHA256SUMS checked, its README.txt giving that system's commands and
naming only pages of docs/ it carries, then
the typical file run through each module by the program beside it (the Windows ones under
wine); and the zip unpacked into folders named in accented Latin, Cyrillic, Greek and CJK,
where both Windows programs convert a file of such a name beside their module to the native
bytes. Where this machine runs no 32-bit program, the checks that start dustweave32.exe are
skipped with the reason (scripts/wine32-check), never counted as passed."""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from functools import partial

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "windows"))
from pe_version import PeError, read_version  # noqa: E402
from named_folders import NAMES, Checks, converted_alike  # noqa: E402

DOCS = sorted(f"docs/{n}" for n in os.listdir(os.path.join(ROOT, "docs"))
              if n.endswith(".md") or n == "grow_with_frame.py")
TEXTS = ["CHANGELOG.txt", "LICENSE.txt", "README.txt", "SHA256SUMS"] + DOCS
WINDOWS_FILES = ["dustweave32.exe", "dustweave64.exe", "mirod_dustweave32.p", "mirod_dustweave64.p"]
LINUX_FILES = ["dustweave", "mirod_dustweave.so"]
PROGRAMS = {"dustweave", "dustweave64.exe", "dustweave32.exe"}
TYPICAL = "5,200 points, 5,000 polygons, result 0"


# ---- what the archive holds -------------------------------------------------------------------

def zip_members(path):
    with zipfile.ZipFile(path) as archive:
        return {e.filename.rstrip("/"): (e.external_attr >> 16) & 0o7777 for e in archive.infolist()}


def tar_members(path):
    with tarfile.open(path) as archive:
        return {e.name.rstrip("/"): (e.mode, e.uid, e.gid, e.uname, e.gname) for e in archive}


def expected_modes(folder, names):
    modes = {folder: 0o755, f"{folder}/docs": 0o755}
    modes.update({f"{folder}/{n}": 0o755 if n in PROGRAMS else 0o644 for n in names})
    return modes


def check_zip_members(checks, path, folder):
    found = zip_members(path)
    wanted = expected_modes(folder, WINDOWS_FILES + TEXTS)
    checks.expect(found == wanted, f"{os.path.basename(path)} holds {folder}/ with exactly "
                  f"{sorted(WINDOWS_FILES + TEXTS)} and their modes"
                  + ("" if found == wanted else f" (found {found})"))


def check_tar_members(checks, path, folder):
    found = tar_members(path)
    wanted = {name: (mode, 0, 0, "", "") for name, mode in
              expected_modes(folder, LINUX_FILES + TEXTS).items()}
    checks.expect(found == wanted, f"{os.path.basename(path)} holds {folder}/ with exactly "
                  f"{sorted(LINUX_FILES + TEXTS)}, their modes, owner root and no names")


# ---- the unpacked folder ----------------------------------------------------------------------

def check_line_ends(checks, folder, crlf):
    for name in TEXTS:
        with open(os.path.join(folder, name), "rb") as f:
            text = f.read()
        bare_lf = text.replace(b"\r\n", b"").count(b"\n")
        if crlf:
            ok = text.endswith(b"\r\n") and bare_lf == 0 and b"\r" not in text.replace(b"\r\n", b"")
        else:
            ok = text.endswith(b"\n") and b"\r" not in text
        checks.expect(ok, f"{name} has {'CRLF' if crlf else 'LF'} line ends only")


def check_readme(checks, folder, program, other):
    """README.txt shows this system's program at work (convert, generate, inspect), never the
    other system's."""
    with open(os.path.join(folder, "README.txt"), encoding="utf-8") as f:
        text = f.read()
    for command in ("convert", "generate", "inspect"):
        checks.expect(f"{program} {command} " in text, f"README.txt shows \"{program} {command}\"")
    checks.expect(other not in text, f"README.txt never names {other}")
    named = set(re.findall(r"docs/[\w.]+\w", text))
    checks.expect(bool(named) and named <= set(DOCS), f"README.txt names pages the archive carries: {sorted(named)}")


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def check_sums(checks, folder, names):
    with open(os.path.join(folder, "SHA256SUMS"), encoding="ascii") as f:
        listed = dict(reversed(line.split(None, 1)) for line in f.read().splitlines() if line)
    others = sorted(n for n in names if n != "SHA256SUMS")
    checks.expect(sorted(listed) == others, f"SHA256SUMS lists exactly {others}")
    for name in others:
        if name in listed:
            checks.expect(sha256_of(os.path.join(folder, name)) == listed[name],
                          f"{name} has the SHA-256 in SHA256SUMS")


def check_version(checks, path, version, bits):
    try:
        with open(path, "rb") as f:
            found = read_version(f.read())
    except (OSError, PeError) as error:
        checks.expect(False, f"{os.path.basename(path)}: version resource ({error})")
        return
    description = found["strings"].get("FileDescription", "")
    checks.expect(found["file version"] == f"{version}.0" and f"({bits}-bit)" in description,
                  f"{os.path.basename(path)} shows version {found['file version']}, \"{description}\"")


# ---- the typical file through each module -----------------------------------------------------

def run_typical(checks, what, command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=300)
    line = done.stdout.replace("\r\n", "\n").strip()
    checks.expect(done.returncode == 0 and line == TYPICAL,
                  f"{what}: \"{line}\", exit {done.returncode}"
                  + (f"\n{done.stderr.strip()}" if done.returncode else ""))


def wine(build, arch):
    return [os.path.join(ROOT, "scripts", "wine-run"), os.path.join(build, arch, "wine-prefix"), arch]


def why_win32_cannot_run(build):
    """Why this machine cannot run 32-bit Windows programs under wine (scripts/wine32-check),
    or None when it can."""
    done = subprocess.run([os.path.join(ROOT, "scripts", "wine32-check"), os.path.join(build, "win32", "wine-prefix"),
                           os.path.join(build, "win32", "wine_probe.exe"), "--reason"],
                          capture_output=True, text=True, timeout=600)
    if done.returncode != 0:
        raise RuntimeError(f"wine32-check failed: {done.stderr.strip()}")
    return done.stdout.strip() or None


def test_linux(checks, path, version, scratch):
    folder = f"dustweave-{version}-linux-x86_64"
    check_tar_members(checks, path, folder)
    with tarfile.open(path) as archive:
        archive.extractall(scratch, filter="data")
    unpacked = os.path.join(scratch, folder)
    check_line_ends(checks, unpacked, crlf=False)
    check_sums(checks, unpacked, LINUX_FILES + TEXTS)
    check_readme(checks, unpacked, "./dustweave", "dustweave64.exe")
    typical = os.path.join(scratch, "typical.pfx")
    generated = subprocess.run(["./dustweave", "generate", typical], cwd=unpacked, capture_output=True)
    checks.expect(generated.returncode == 0, "the unpacked dustweave generates the typical file")
    run_typical(checks, "mirod_dustweave.so from the tarball",
                ["./dustweave", "run", "./mirod_dustweave.so", "--file", typical, "--step", "0.25"],
                unpacked)
    return typical


def test_windows(checks, path, version, scratch, build, typical, win32_reason):
    folder = f"mirod_dustweave-{version}-windows"
    check_zip_members(checks, path, folder)
    with zipfile.ZipFile(path) as archive:
        archive.extractall(scratch)
    unpacked = os.path.join(scratch, folder)
    check_line_ends(checks, unpacked, crlf=True)
    check_sums(checks, unpacked, WINDOWS_FILES + TEXTS)
    check_readme(checks, unpacked, "dustweave64.exe", "mirod_dustweave.so")
    for name, bits in (("mirod_dustweave64.p", 64), ("mirod_dustweave32.p", 32), ("dustweave64.exe", 64),
                       ("dustweave32.exe", 32)):
        check_version(checks, os.path.join(unpacked, name), version, bits)
    run_typical(checks, "mirod_dustweave64.p with the unpacked dustweave64.exe (wine win64)",
                wine(build, "win64") + [os.path.join(unpacked, "dustweave64.exe"), "run",
                                        "mirod_dustweave64.p", "--file", typical, "--step", "0.25"],
                unpacked)
    what = "mirod_dustweave32.p with the unpacked dustweave32.exe (wine win32)"
    if win32_reason:
        checks.skip(what, win32_reason)
        return
    run_typical(checks, what,
                wine(build, "win32") + [os.path.join(unpacked, "dustweave32.exe"), "run",
                                        "mirod_dustweave32.p", "--file", typical, "--step", "0.25"],
                unpacked)


# ---- the zip in folders named in any script ---------------------------------------------------

def run_bytes(command, cwd, args=()):
    """`command` and `args` run in `cwd` with the output as bytes, Windows line ends as Linux
    ones; wine in a Western code page (1252)."""
    env = dict(os.environ, LC_ALL="C.UTF-8")
    done = subprocess.run([os.fsencode(c) for c in list(command) + list(args)], cwd=cwd, capture_output=True,
                          env=env, timeout=300)
    done.stdout = done.stdout.replace(b"\r\n", b"\n")
    return done


def test_named_folders(checks, path, version, scratch, build, linux, win32_reason):
    """The zip unpacked into a folder of each name; dustweave64.exe and dustweave32.exe as
    released convert NAME.pfx there as the tarball's dustweave does in a folder of the same
    name."""
    folder = f"mirod_dustweave-{version}-windows"
    for name in NAMES:
        unpacked = os.path.join(scratch, name, folder)
        with zipfile.ZipFile(path) as archive:
            archive.extractall(os.path.join(scratch, name))
        native = os.path.join(scratch, "linux", name)
        os.makedirs(native)
        for place in (unpacked, native):
            generated = run_bytes([os.path.join(linux, "dustweave"), "generate", f"{name}.pfx"], place)
            checks.expect(generated.returncode == 0, f"the tarball's dustweave generates {name}/{name}.pfx")
        for arch, program in (("win64", "dustweave64.exe"), ("win32", "dustweave32.exe")):
            if arch == "win32" and win32_reason:
                checks.skip(f"{name}/{folder}/{program} (wine {arch})", win32_reason)
                continue
            print(f"     {name}/{folder}/{program} (wine {arch}):")
            converted_alike(checks, name,
                            partial(run_bytes, wine(build, arch) + [os.path.join(unpacked, program)], unpacked),
                            partial(run_bytes, [os.path.join(linux, "dustweave")], native), unpacked, native)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--dist", required=True, help="the folder make dist writes")
    parser.add_argument("--version", required=True)
    parser.add_argument("--build", required=True, help="the build folder (its wine prefixes)")
    parser.add_argument("--results", help="a JSON file for the counts of checks passed, failed and skipped")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    checks = Checks()
    win32_reason = why_win32_cannot_run(build)
    with tempfile.TemporaryDirectory(dir=build, prefix="archive-test-") as scratch:
        linux, windows = os.path.join(scratch, "linux"), os.path.join(scratch, "windows")
        os.mkdir(linux)
        os.mkdir(windows)
        typical = test_linux(checks, os.path.join(args.dist, f"dustweave-{args.version}-linux-x86_64.tar.gz"),
                             args.version, linux)
        test_windows(checks, os.path.join(args.dist, f"mirod_dustweave-{args.version}-windows.zip"),
                     args.version, windows, build, typical, win32_reason)
        named = os.path.join(scratch, "named")
        os.mkdir(named)
        test_named_folders(checks, os.path.join(args.dist, f"mirod_dustweave-{args.version}-windows.zip"),
                           args.version, named, build,
                           os.path.join(linux, f"dustweave-{args.version}-linux-x86_64"), win32_reason)
    if args.results:
        with open(args.results, "w", encoding="utf-8") as f:
            json.dump({"passed": checks.passed, "failed": len(checks.failed), "skipped": checks.skipped}, f)
    if checks.failed:
        print(f"archive test: {len(checks.failed)} check(s) failed", file=sys.stderr)
        return 1
    if checks.skipped:
        print(f"archive test: {len(checks.skipped)} check(s) skipped: {checks.skipped[0]}")
    print("archive test: both archives unpack, check and run the typical file as released")
    return 0


if __name__ == "__main__":
    sys.exit(main())
