#!/usr/bin/env bash
# scripts/install-deps run against stand-ins of apt-get, dpkg, dpkg-query, sudo and npm first on
# PATH, which record what they are asked and touch nothing: an i386 index that cannot be
# refreshed, the kernel's answer to a 32-bit program, wine32 or a needed package that apt refuses.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

check() {  # what, then a command that holds when it is so
  local what=$1
  shift
  if "$@"; then echo "ok      $what"; else echo "FAILED  $what"; failed=1; fi
}

# ---- the stand-ins: STANDIN_MISSING packages are not installed, STANDIN_REFUSED ones apt refuses,
# STANDIN_UPDATE=broken makes `apt-get update` fail as a mirror in sync does --------------------
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STANDIN_LOG"
for word in "$@"; do
  case $word in
    update)
      [ "${STANDIN_UPDATE:-}" = broken ] || exit 0
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100 ;;
    install)
      for package in "$@"; do
        if [[ " ${STANDIN_REFUSED:-} " == *" $package "* ]]; then
          echo "The following packages have unmet dependencies:"
          echo " $package : Depends: ${STANDIN_NEEDS:-libother} (= 1.0) but it is not going to be installed"
          echo "E: Unable to correct problems, you have held broken packages."
          exit 100
        fi
      done
      exit 0 ;;
  esac
done
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
package=${!#}
[[ " ${STANDIN_MISSING:-} " == *" $package "* ]] && exit 1
echo -n "install ok installed"
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STANDIN_LOG"
case $1 in
  --print-foreign-architectures) cat "$STANDIN_ARCHES" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$STANDIN_ARCHES" ;;
esac
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
printf '#!/bin/sh\necho "npm $*" >>"$STANDIN_LOG"\n' >"$work/bin/npm"
chmod +x "$work/bin/"*
# A program this kernel cannot start, as a 32-bit one is where the kernel runs none.
printf '\177ELF\377\377\377\0\0\0\0\0\0\0\0\0' >"$work/foreign"
chmod +x "$work/foreign"

# Runs install-deps with the stand-ins in a fresh case folder; its output in $out, status in $status.
run_case() {  # name, then install-deps' arguments; the STANDIN_* and probe settings in the environment
  local name=$1
  shift
  case_dir=$work/$name
  mkdir -p "$case_dir"
  out=$(PATH="$work/bin:$PATH" STANDIN_LOG="$case_dir/log" STANDIN_ARCHES="$case_dir/arches" \
        DUSTWEAVE_WINE32_NOTE="$case_dir/wine32-note" "$root/scripts/install-deps" "$@" 2>&1)
  status=$?
  touch "$case_dir/log"
  echo "-- $name: install-deps $* (exit $status)"
  sed 's/^/   | /' <<<"$out"
}
said() { grep -qF -- "$1" <<<"$out"; }
said_once() { [ "$(grep -cF -- "$1" <<<"$out")" -eq 1 ]; }
asked() { grep -qE -- "$1" "$case_dir/log"; }
never() { ! "$@"; }

# A broken i386 index on a kernel that runs no 32-bit program: the refresh is tried twice and
# said once, the missing package installed from the index there is; i386 and wine32 untouched.
STANDIN_UPDATE=broken STANDIN_MISSING="libtinygltf-dev wine32:i386" DUSTWEAVE_32BIT_PROBE=$work/foreign \
  run_case broken-index --tests
check "the set-up goes on" [ $status -eq 0 ]
check "the refresh is tried twice" [ "$(grep -c '^apt-get .*update' "$case_dir/log")" -eq 2 ]
check "its failure is said once, naming the index" \
  said_once "the package index of bookworm-security main (i386) could not be refreshed; installing from what is there"
check "the missing package is installed anyway" asked '^apt-get .*install .*libtinygltf-dev'
check "no i386 architecture is added" never asked '^dpkg --add-architecture'
check "wine32 is not asked for" never asked 'wine32'

# A kernel that runs 32-bit programs, where apt refuses wine32:i386: the architecture is added, the
# set-up goes on, and the 32-bit Windows tests skip saying why.
STANDIN_UPDATE=broken STANDIN_MISSING="wine32:i386" STANDIN_REFUSED="wine32:i386" STANDIN_NEEDS=libwine:i386 \
  DUSTWEAVE_32BIT_PROBE=true \
  run_case wine32-refused --tests
check "the set-up goes on" [ $status -eq 0 ]
check "the i386 architecture is added, then wine32 asked for" \
  [ "$(grep -oE 'add-architecture i386|install .*wine32:i386' "$case_dir/log" | cut -c1-7 | paste -sd,)" = "add-arc,install" ]
check "it says wine32 could not be installed, and why" \
  said "wine32 could not be installed: wine32:i386 : Depends: libwine:i386"
reason=$(DUSTWEAVE_WINE32_NOTE="$case_dir/wine32-note" DUSTWEAVE_32BIT_PROBE=true DUSTWEAVE_WINE_DIR="$work/no-wine" \
         "$root/scripts/wine32-check" "$case_dir/prefix" "$work/none.exe" --reason)
echo "   | wine32-check: $reason"
check "the 32-bit Windows tests give that reason" \
  grep -q "^wine32 could not be installed: wine32:i386 : Depends: .*: the 32-bit Windows runtime tests are skipped" <<<"$reason"

# `make`'s set alone, one of its packages refused: it stops naming that package and apt's reason,
# and never asks for what only the tests need.
STANDIN_MISSING="libcli11-dev clang" STANDIN_REFUSED="libcli11-dev" run_case refused
check "the set-up stops" [ $status -ne 0 ]
check "it names the package and apt's reason" \
  said "libcli11-dev cannot be installed: libcli11-dev : Depends: libother (= 1.0) but it is not going to be installed; Unable to correct problems"
check "the tests' packages are not asked for" never asked 'clang'

[ $failed -eq 0 ] && echo "install-deps test: every check passed"
exit $failed
