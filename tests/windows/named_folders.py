"""What the wine suites share for names in any script: the names (accented Latin, Cyrillic,
Greek, CJK), the checks they collect, and one conversion to .glb and .obj made by the Windows
program and by the native one in folders of such a name, compared line and byte."""
import filecmp

NAMES = ["José", "Пыль", "Σκόνη", "粒子"]
STEP = ["--step", "0.25"]
SUMMARY = "5,200 points, 5,000 polygons"  # the typical file at step 0.25


class Checks:
    """Collects failures, printing each check as it is made; a check this machine cannot make is
    skipped with its reason, never counted as passed."""

    def __init__(self):
        self.passed = 0
        self.failed = []
        self.skipped = []  # the reason of each skipped check

    def expect(self, ok, what):
        print(f"{'ok  ' if ok else 'FAIL'} {what}")
        if ok:
            self.passed += 1
        else:
            self.failed.append(what)
        return ok

    def skip(self, what, reason):
        print(f"skip {what}: {reason}")
        self.skipped.append(reason)


def same_bytes(a, b):
    try:
        return filecmp.cmp(a, b, shallow=False)
    except OSError:
        return False


def converted_alike(checks, name, windows, native, folder, native_folder):
    """NAME.pfx converted to NAME.glb and NAME.obj by `windows` and `native` (each runs a
    dustweave command line in its folder): exit 0, the UTF-8 summary line on the pipe, and the
    native bytes."""
    for extension in ("glb", "obj"):
        output = f"{name}.{extension}"
        done = windows(["convert", f"{name}.pfx", output] + STEP)
        native(["convert", f"{name}.pfx", output] + STEP)
        wanted = f"wrote {output}: {SUMMARY}\n".encode()
        checks.expect(done.returncode == 0 and done.stdout == wanted,
                      f"{name}/{output}: exit {done.returncode}, summary {done.stdout!r}"
                      + (f" {done.stderr!r}" if done.returncode else ""))
        checks.expect(same_bytes(f"{folder}/{output}", f"{native_folder}/{output}"),
                      f"{name}/{output} holds the native bytes")
