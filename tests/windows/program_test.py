#!/usr/bin/env python3
"""dustweave64.exe or dustweave32.exe under wine as its users have it, one case a run: files and
folders named in any script (names), names on a console and the name the program calls itself
(console), paths past 259 characters (long-paths), the last point ID a build can number
(point-limit), names the system counts or refuses (file-names), Ctrl-C during a conversion
(interrupt), and the progress line of a long conversion on a console (progress). Each compares
with the native dustweave where there is something to compare.
Wine runs in a Western code page (1252), as the program's users in Western Europe have it.
Usage: program_test.py CASE --program EXE --native BUILD --work DIR [--ctrl-c EXE] -- WINE_RUN..."""
import argparse
import os
import pty
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from named_folders import NAMES, STEP, SUMMARY, Checks, converted_alike, same_bytes  # noqa: E402

POINT_LIMIT = {
    32: "the mesh passes the 4,294,967,295 points that a 32-bit build can number; use dustweave64",
    64: "the mesh passes the 18,446,744,073,709,551,615 points that a 64-bit build can number",
}
TOO_LONG = "the path is longer than the 259 characters this Windows takes"


class Programs:
    """The Windows program under wine and the native one, run with bytes in and out."""

    def __init__(self, args):
        self.program = os.path.abspath(args.program)
        self.bits = 32 if self.program.endswith("32.exe") else 64
        self.module = os.path.join(os.path.dirname(self.program), f"mirod_dustweave{self.bits}.p")
        self.native = os.path.join(os.path.abspath(args.native), "dustweave")
        self.wine = args.wine_run
        self.ctrl_c = args.ctrl_c and os.path.abspath(args.ctrl_c)
        self.env = dict(os.environ, LC_ALL="C.UTF-8")

    def windows(self, args, cwd, program=None):
        return self.run(self.wine + [program or self.program] + args, cwd)

    def native_run(self, args, cwd):
        return self.run([self.native] + args, cwd)

    def run(self, command, cwd):
        done = subprocess.run([os.fsencode(c) for c in command], cwd=cwd, capture_output=True,
                              env=self.env, timeout=600)
        done.stdout = done.stdout.replace(b"\r\n", b"\n")
        done.stderr = done.stderr.replace(b"\r\n", b"\n")
        return done

    def install_in(self, folder):
        """The program and its module copied into `folder`, as the release zip has them."""
        os.makedirs(folder, exist_ok=True)
        for path in (self.program, self.module):
            shutil.copy(path, folder)
        return os.path.join(folder, os.path.basename(self.program))


def error_lines(done):
    """The program's lines on standard error. Lines of wine's own ("wine: ..."), which it may
    print there about other processes of the prefix as it starts them, are not the program's."""
    lines = done.stderr.decode("utf-8", errors="replace").splitlines()
    return [line for line in lines if not line.startswith("wine: ")]


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def typical(programs, path):
    done = programs.native_run(["generate", path], os.path.dirname(path))
    if done.returncode != 0:
        raise RuntimeError(f"native dustweave generate {path} failed: {done.stderr!r}")
    return path


# ---- names -------------------------------------------------------------------------------------

def case_names(checks, programs, work):
    """In a folder of each script, with a file named in it: convert finds the module beside the
    program and writes the native bytes; --module, inspect and generate take such names; the
    summary line reaches a pipe as UTF-8."""
    for name in NAMES:
        folder = fresh(os.path.join(work, name))
        here = programs.install_in(folder)
        native = fresh(os.path.join(work, "native", name))
        for place in (folder, native):
            typical(programs, os.path.join(place, f"{name}.pfx"))
        converted_alike(checks, name, lambda args: programs.windows(args, folder, here),
                        lambda args: programs.native_run(args, native), folder, native)

        # the build's program, with --module naming the module in a folder of that script
        module = os.path.join(folder, os.path.basename(programs.module))
        output = os.path.join(folder, f"{name} by --module.obj")
        done = programs.windows(["convert", os.path.join(folder, f"{name}.pfx"), output, "--module", module] + STEP,
                                folder)
        checks.expect(done.returncode == 0 and same_bytes(output, os.path.join(native, f"{name}.obj")),
                      f"--module {module}: exit {done.returncode}, the native bytes "
                      + done.stderr.decode("utf-8", errors="replace"))

        # an output that is the input under another spelling of its folder's name is refused
        shutil.copy(os.path.join(folder, f"{name}.pfx"), os.path.join(folder, f"{name}-in.glb"))
        done = programs.windows(["convert", f"{name}-in.glb", f"../{name}/{name}-in.glb"], folder, here)
        checks.expect(done.returncode == 64 and b"OUTPUT is the input itself" in done.stderr
                      and same_bytes(os.path.join(folder, f"{name}-in.glb"), os.path.join(folder, f"{name}.pfx")),
                      f"convert {name}-in.glb ../{name}/{name}-in.glb is refused and the input kept: "
                      f"exit {done.returncode}, " + done.stderr.decode("utf-8", errors="replace").strip())

        inspected = programs.windows(["inspect", f"{name}.pfx"], folder, here)
        native_inspected = programs.native_run(["inspect", f"{name}.pfx"], native)
        checks.expect(inspected.returncode == 0 and inspected.stdout == native_inspected.stdout,
                      f"inspect {name}.pfx prints what the native one prints: "
                      f"{inspected.stdout.decode('utf-8', errors='replace').splitlines()[:1]}")

        generated = programs.windows(["generate", f"g-{name}.pfx", "--particles", "30"], folder, here)
        native_generated = programs.native_run(["generate", f"g-{name}.pfx", "--particles", "30"], native)
        checks.expect(generated.returncode == 0 and generated.stdout == native_generated.stdout
                      and same_bytes(os.path.join(folder, f"g-{name}.pfx"), os.path.join(native, f"g-{name}.pfx")),
                      f"generate g-{name}.pfx writes the native bytes and says so: "
                      + generated.stdout.decode("utf-8", errors="replace").strip())


# ---- console -----------------------------------------------------------------------------------

def on_a_terminal(command, cwd, env):
    """What `command` shows on a terminal (wine makes it a Windows console), as text: the
    console's cursor moves taken as the spaces they stand for, its other controls left out."""
    status, shown = terminal_bytes(command, cwd, env)
    text = " ".join(shown.decode("utf-8", errors="replace").split())
    return status, text


def terminal_bytes(command, cwd, env):
    """What `command` writes to a terminal, its cursor moves as spaces and other controls left out."""
    pid, terminal = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execvpe(command[0], command, env)
    shown = b""
    while True:
        try:
            chunk = os.read(terminal, 65536)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    _, status = os.waitpid(pid, 0)
    shown = re.sub(rb"\x1b\[(\d*)C", lambda m: b" " * int(m.group(1) or 1), shown)
    shown = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", b"", shown)
    return os.waitstatus_to_exitcode(status), shown


def case_console(checks, programs, work):
    """On a console the names show as they were typed, on standard output and standard error."""
    for name in NAMES:
        folder = fresh(os.path.join(work, name))
        here = programs.install_in(folder)
        typical(programs, os.path.join(folder, f"{name}.pfx"))
        status, text = on_a_terminal(programs.wine + [here, "convert", f"{name}.pfx", f"{name}.glb"] + STEP, folder,
                                     programs.env)
        wanted = f"wrote {name}.glb: {SUMMARY}"
        checks.expect(status == 0 and wanted in text, f"the console shows \"{wanted}\" (it shows \"{text}\")")
        status, text = on_a_terminal(programs.wine + [here, "convert", f"no-{name}.pfx", f"{name}.obj"], folder,
                                     programs.env)
        wanted = f"dustweave: cannot open no-{name}.pfx"
        checks.expect(status == 10 and wanted in text, f"the console shows \"{wanted}\" (it shows \"{text}\")")
    # The program calls itself by the name it was called by, without its folder.
    name = os.path.basename(programs.program)
    done = programs.windows(["--help"], work)
    usage = [line for line in done.stdout.decode("utf-8", errors="replace").splitlines() if line.startswith("Usage")]
    checks.expect(usage == [f"Usage: {name} [OPTIONS] SUBCOMMAND"], f"--help's usage line names {name} alone: {usage}")
    done = programs.windows(["convert", "in.pfx", "out.stl"], work)
    wanted = f"dustweave: OUTPUT must end in .obj, .glb, .usda or .usdc: out.stl (see {name} convert --help)"
    checks.expect(error_lines(done) == [wanted], f"misuse points to \"{name} convert --help\": {error_lines(done)}")


# ---- long paths --------------------------------------------------------------------------------

def deep_folder(work, length):
    """A folder whose path is longer than `length` characters."""
    folder = work
    while len(folder) <= length:
        folder = os.path.join(folder, "a-folder-deep-down-" + str(len(folder)))
    os.makedirs(folder)
    return folder


def converts_or_says_too_long(checks, what, done, output, native_output, verb, path):
    """Where the system takes the long path the conversion is whole; where it does not, the one
    line says the path is too long and nothing is written."""
    lines = error_lines(done)
    if done.returncode == 0:
        checks.expect(same_bytes(output, native_output), f"{what}: converted to the native bytes")
        return
    wanted = f"dustweave: cannot {verb} {path}: {TOO_LONG}"
    checks.expect(done.returncode == 10 and len(lines) == 1 and lines[0].startswith(wanted)
                  and not os.path.exists(output),
                  f"{what}: this system refuses the long path and the one line says so, nothing written "
                  f"(exit {done.returncode}, {lines!r})")
    if done.returncode == 10:
        print(f"     (this system keeps the 259-character limit: {what} was refused)")


def case_long_paths(checks, programs, work):
    """An input and an output deeper than 260 characters."""
    fresh(work)
    deep = deep_folder(os.path.join(work, "deep"), 300)
    short = programs.install_in(fresh(os.path.join(work, "short")))
    native = fresh(os.path.join(work, "native"))
    typical(programs, os.path.join(native, "typical.pfx"))
    programs.native_run(["convert", "typical.pfx", "typical.obj"], native)
    for folder in (deep, os.path.dirname(short)):
        typical(programs, os.path.join(folder, "typical.pfx"))
    long_input = os.path.join(deep, "typical.pfx")
    done = programs.windows(["convert", long_input, "from-deep.obj"], os.path.dirname(short), short)
    converts_or_says_too_long(checks, f"input of {len(long_input)} characters", done,
                              os.path.join(os.path.dirname(short), "from-deep.obj"),
                              os.path.join(native, "typical.obj"), "open", long_input)
    long_output = os.path.join(deep, "typical.obj")
    done = programs.windows(["convert", "typical.pfx", long_output], os.path.dirname(short), short)
    converts_or_says_too_long(checks, f"output of {len(long_output)} characters", done, long_output,
                              os.path.join(native, "typical.obj"), "write", long_output)
    checks.expect(sorted(os.listdir(deep)) == ["typical.pfx"], "nothing else is left in the deep folder")


# ---- point limit -------------------------------------------------------------------------------

def case_point_limit(checks, programs, work):
    """With the host's point IDs started near the last one the build can number, a run that
    passes it is refused with the one line and writes nothing; one that ends on it is whole."""
    folder = fresh(os.path.join(work, "windows"))
    native = fresh(os.path.join(work, "native"))
    for place in (folder, native):
        typical(programs, os.path.join(place, "typical.pfx"))
    programs.native_run(["convert", "typical.pfx", "typical.obj", "--step", "0.25", "--html", "typical.html"], native)
    last = 2 ** programs.bits - 1
    seam = ["--test-point-ids-taken"]
    done = programs.windows(seam + [str(last - 60), "convert", "typical.pfx", "typical.obj", "--step", "0.25"],
                            folder)
    lines = error_lines(done)
    checks.expect(done.returncode == 10 and lines == [f"dustweave: typical.pfx: {POINT_LIMIT[programs.bits]}"],
                  f"convert past the last point ID: exit {done.returncode}, {lines!r}")
    done = programs.windows(seam + [str(last - 60), "run", programs.module, "--file", "typical.pfx", "--step",
                                    "0.25", "--obj", "run.obj"], folder)
    lines = error_lines(done)
    checks.expect(done.returncode == 10 and lines == [f"dustweave: {POINT_LIMIT[programs.bits]}"],
                  f"run past the last point ID: exit {done.returncode}, {lines!r}")
    checks.expect(sorted(os.listdir(folder)) == ["typical.pfx"], "nothing is written past the last point ID")
    done = programs.windows(seam + [str(last - 5200), "convert", "typical.pfx", "typical.obj", "--step", "0.25",
                                    "--html", "typical.html"], folder)
    checks.expect(done.returncode == 0 and same_bytes(os.path.join(folder, "typical.obj"),
                                                      os.path.join(native, "typical.obj")),
                  f"a run ending on the last point ID writes the native bytes (exit {done.returncode})")
    checks.expect(done.returncode == 0 and same_bytes(os.path.join(folder, "typical.html"),
                                                      os.path.join(native, "typical.html")),
                  "its 3D preview page has the native bytes too")


# ---- file names --------------------------------------------------------------------------------

CJK = "粒"  # one UTF-16 unit, three bytes of UTF-8


def case_file_names(checks, programs, work):
    """What Windows says about names: a name's length in UTF-16 units, folders and hard links
    told by the files themselves in folders named in any script, and the system's own message for
    a name it refuses; nothing is left beside an output that is not written, and what is only
    named like a temporary file is never removed."""
    folder = fresh(os.path.join(work, "粒子 é"))
    here = programs.install_in(folder)
    typical(programs, os.path.join(folder, "t.pfx"))
    native = fresh(os.path.join(work, "native"))
    typical(programs, os.path.join(native, "t.pfx"))
    programs.native_run(["convert", "t.pfx", "t.obj"] + STEP, native)
    before = sorted(os.listdir(folder))

    def convert(output, *more):
        return programs.windows(["convert", "t.pfx", output] + STEP + list(more), folder, here)

    def nothing_left(what):
        left = sorted(set(os.listdir(folder)) - set(before))
        checks.expect(left == [], f"{what}: nothing is left in the folder (found {left})")

    # 100 characters are 100 units: the name is not refused for its length in bytes (304). The
    # file system beneath wine counts bytes: it refuses the name, or wine stores it cut short.
    name = CJK * 100 + ".obj"
    done = convert(name)
    lines = error_lines(done)
    checks.expect(done.returncode == 0 or (done.returncode == 10 and len(lines) == 1 and " long" not in lines[0]
                                           and lines[0].startswith(f"dustweave: cannot write {name}: ")),
                  f"a name of 100 CJK characters is not refused for its length, only by the system beneath "
                  f"(exit {done.returncode}, {lines!r})")
    for made in set(os.listdir(folder)) - set(before):
        checks.expect(made.startswith(CJK) and made.endswith(CJK * 3) or made.endswith(".obj"),
                      f"only the output is left beside it: {made}")
        os.remove(os.path.join(folder, made))
    name = CJK * 80 + ".obj"
    done = convert(name)
    checks.expect(done.returncode == 0 and same_bytes(os.path.join(folder, name), os.path.join(native, "t.obj")),
                  f"a name of 80 CJK characters (244 bytes) converts to the native bytes (exit {done.returncode})")
    if done.returncode == 0:
        os.remove(os.path.join(folder, name))
    # 256 units are refused, counted so; where whole paths stop at 259 characters, as under wine,
    # the path's length is refused first.
    name = CJK * 252 + ".obj"
    done = convert(name)
    lines = error_lines(done)
    checks.expect(done.returncode == 10 and len(lines) == 1 and lines[0].startswith(f"dustweave: cannot write {name}: ")
                  and ("the file name is 256 UTF-16 units long, and the folder holds names of 255 at most" in lines[0]
                       or TOO_LONG in lines[0]),
                  f"a name of 256 UTF-16 units is refused (exit {done.returncode}, {lines!r})")

    # Folders and hard links, told by the files whatever their names' script.
    os.makedirs(os.path.join(folder, "dir é.obj"))
    before = sorted(os.listdir(folder))
    done = convert("dir é.obj")
    checks.expect(done.returncode == 10 and error_lines(done) == ["dustweave: cannot write dir é.obj: it is a folder"],
                  f"a folder named \"dir é.obj\" is a folder (exit {done.returncode}, {error_lines(done)!r})")
    done = programs.windows(["convert", "dir é.obj", "x.obj"], folder, here)
    checks.expect(done.returncode == 10 and error_lines(done) == ["dustweave: cannot open dir é.obj: it is a folder"],
                  f"a folder named \"dir é.obj\" as the input is a folder ({error_lines(done)!r})")
    done = convert("粒子.obj")
    os.link(os.path.join(folder, "粒子.obj"), os.path.join(folder, "粒子 link.svg"))
    kept = open(os.path.join(folder, "粒子.obj"), "rb").read()
    before = sorted(os.listdir(folder))
    done = convert("粒子.obj", "--svg", "粒子 link.svg")
    checks.expect(done.returncode == 64 and b"--svg names OUTPUT too" in done.stderr
                  and open(os.path.join(folder, "粒子.obj"), "rb").read() == kept,
                  f"a hard link of OUTPUT as --svg is refused ({error_lines(done)!r})")
    nothing_left("a hard link as --svg")

    # Names the system refuses, each with the system's own message; a device is no plain file.
    for name, said in (("what?.obj", None), ("a|b.obj", None), ("NUL.obj", "it is not a plain file")):
        done = convert(name)
        lines = error_lines(done)
        start = f"dustweave: cannot write {name}: "
        reason = lines[0][len(start):] if len(lines) == 1 and lines[0].startswith(start) else None
        checks.expect(done.returncode == 10 and reason and reason != "Input/output error" and reason == (said or reason),
                      f"{name}: {said or 'the system’s own message'} (exit {done.returncode}, {lines!r})")
        nothing_left(name)

    # An input named like a temporary file of its output, and a user's file named like another:
    # both stay, the user's named with how to remove it (wine keeps no mark: it has no named
    # streams), and no mark is made a file of its own.
    shutil.copy(os.path.join(folder, "t.pfx"), os.path.join(folder, f".{CJK}.glb.partial-1-1"))
    users = f".{CJK}.glb.partial-2024-05"
    with open(os.path.join(folder, users), "wb") as made:
        made.write(b"the user's own")
    before = sorted(os.listdir(folder))
    done = programs.windows(["convert", f".{CJK}.glb.partial-1-1", f"{CJK}.glb"], folder, here)
    said = (f"dustweave: {users} is named like a temporary file of an earlier run but carries no mark this program "
            f"made for it, so it is left; if it is one, remove it: del \"{users}\"")
    checks.expect(done.returncode == 0 and sorted(set(os.listdir(folder)) - set(before)) == [f"{CJK}.glb"]
                  and error_lines(done) == [said] and open(os.path.join(folder, users), "rb").read() == b"the user's own",
                  f"an input and a user's file named like temporary files stay (exit {done.returncode}, {error_lines(done)!r})")


# ---- interrupt ---------------------------------------------------------------------------------

def case_interrupt(checks, programs, work):
    """Ctrl-C during a conversion leaves nothing beside the outputs, the input as it was, and an
    exit status that is not 0 (wine ends a program whose handlers all pass the event on with 0,
    so the program must end itself). Wine sends only Ctrl-C: not Ctrl-Break, not a closed window."""
    source = fresh(os.path.join(work, "input"))
    big = os.path.join(source, "big.pfx")
    done = programs.native_run(["generate", big, "--particles", "8000", "--last", "999"], source)
    checks.expect(done.returncode == 0, "the native dustweave generates a large input")
    size = os.path.getsize(big)
    for output, options in (("big.obj", ["--svg"]), ("big.glb", ["--step", "0.5", "--svg"])):
        out = fresh(os.path.join(work, "out-" + output.replace(".", "-")))
        preview = os.path.join(out, output + ".svg")
        command = [programs.ctrl_c, out, programs.program, "convert", big, os.path.join(out, output)]
        command += options[:-1] + [options[-1], preview]
        done = programs.run(programs.wine + command, out)
        report = (done.stdout + done.stderr).decode("utf-8", errors="replace").strip()
        checks.expect(done.returncode == 0, f"{output}: Ctrl-C reached the conversion and it ended ({report})")
        status = re.search(r"ended with status (\d+)", report)
        checks.expect(status is not None and status.group(1) != "0",
                      f"{output}: its exit status does not say the conversion was done")
        left = os.listdir(out)
        checks.expect(left == [], f"{output}: nothing is left in its folder after Ctrl-C (found {left})")
        checks.expect("dustweave: interrupted: nothing written\n" in report.replace("\r\n", "\n") + "\n",
                      f"{output}: one line says nothing was written")
    checks.expect(os.path.getsize(big) == size, "the input is as it was")


# ---- progress ----------------------------------------------------------------------------------

def case_progress(checks, programs, work):
    """A conversion on a console, its progress line drawn at every look at the clock (a test
    seam, so that however fast the machine the line is drawn): the line moves past 0 % (wine
    counts no bytes read, so the share comes from the points made) and shows the output's size."""
    folder = fresh(os.path.join(work, "windows"))
    big = os.path.join(folder, "big.pfx")
    done = programs.native_run(["generate", big, "--particles", "800", "--index-limit", "1000", "--last", "999"],
                               folder)
    checks.expect(done.returncode == 0, "the native dustweave generates a large input")
    status, shown = terminal_bytes(programs.wine + [programs.program, "--test-progress-at-every-look", "convert",
                                                    "big.pfx", "big.obj", "--module", programs.module],
                                   folder, programs.env)
    lines = [part.decode("utf-8", errors="replace").strip() for part in re.split(rb"[\r\n]+", shown)]
    shares = [int(m.group(1)) for m in (re.match(r"(\d+)%  ", line) for line in lines) if m]
    checks.expect(status == 0, f"the conversion ends with 0 (exit {status})")
    checks.expect(len(shares) >= 2 and max(shares) > 0 and shares == sorted(shares),
                  f"the progress line moves past 0 % and never back: {shares}")
    checks.expect(any(re.search(r"  out \d", line) for line in lines if re.match(r"\d+%", line)),
                  "the progress line shows the output's size so far")
    summary = f"{os.path.getsize(big) / 1e6:.1f} MB in "
    checks.expect(any(line.startswith(summary) and line.endswith(" written") for line in lines),
                  f"the summary line counts the whole input read (\"{summary}...\") and says how much was written")


CASES = {
    "names": case_names,
    "console": case_console,
    "long-paths": case_long_paths,
    "point-limit": case_point_limit,
    "file-names": case_file_names,
    "interrupt": case_interrupt,
    "progress": case_progress,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--program", required=True, help="dustweave64.exe or dustweave32.exe, its module beside it")
    parser.add_argument("--native", required=True, help="the native build (dustweave, mirod_dustweave.so)")
    parser.add_argument("--work", required=True)
    parser.add_argument("--ctrl-c", help="send_ctrl_c.exe, for the interrupt case")
    parser.add_argument("wine_run", nargs="+", help="the wine runner and its arguments")
    args = parser.parse_args()
    programs = Programs(args)
    checks = Checks()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    CASES[args.case](checks, programs, os.path.join(work, args.case))
    if checks.failed:
        print(f"{args.case}: {len(checks.failed)} check(s) failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
