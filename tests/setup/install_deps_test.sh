#!/usr/bin/env bash
# scripts/install-deps run against stand-ins of apt-get, apt-cache, dpkg, dpkg-query, sudo, id
# and npm first on PATH, which record what they are asked and touch nothing: an i386 index that
# cannot be refreshed, the kernel's answer to a 32-bit program, wine32 or a needed package that
# apt refuses, another Debian release's clang, a user who cannot be root, an npm registry out of
# reach.
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
cat >"$work/bin/apt-cache" <<'STANDIN'
#!/usr/bin/env bash
[ "$*" = "depends clang" ] && printf 'clang\n  Depends: clang-%s\n  Breaks: <clang-3.2>\n' "${STANDIN_CLANG:-14}"
STANDIN
cat >"$work/bin/npm" <<'STANDIN'
#!/usr/bin/env bash
echo "npm $*" >>"$STANDIN_LOG"
[ "${STANDIN_NPM:-}" = offline ] || exit 0
echo "npm ERR! code EAI_AGAIN" >&2
echo "npm ERR! request to https://registry.npmjs.org/esbuild failed, reason: getaddrinfo EAI_AGAIN registry.npmjs.org" >&2
exit 1
STANDIN
cp -r "$work/bin" "$work/bin-user"  # a user who is not root, without sudo
printf '#!/bin/sh\necho 1000\n' >"$work/bin-user/id"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"* "$work/bin-user/"*
# A program this kernel cannot start, as a 32-bit one is where the kernel runs none.
printf '\177ELF\377\377\377\0\0\0\0\0\0\0\0\0' >"$work/foreign"
chmod +x "$work/foreign"

# Runs install-deps with the stand-ins in a fresh case folder; its output in $out, status in $status.
run_case() {  # name, then install-deps' arguments; the STANDIN_* and probe settings in the environment
  local name=$1
  shift
  case_dir=$work/$name
  mkdir -p "$case_dir"
  out=$(PATH="${STANDIN_BIN:-$work/bin}:$PATH" STANDIN_LOG="$case_dir/log" STANDIN_ARCHES="$case_dir/arches" \
        DUSTWEAVE_WINE32_NOTE="$case_dir/wine32-note" "${SCRIPT:-$root/scripts/install-deps}" "$@" 2>&1)
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

# Another Debian release: the sanitizer runtimes asked for are those of the clang apt offers.
STANDIN_CLANG=19 STANDIN_MISSING="libclang-rt-19-dev" DUSTWEAVE_32BIT_PROBE=$work/foreign run_case trixie --tests
check "the set-up goes on" [ $status -eq 0 ]
check "the runtimes of clang 19 are installed" asked '^apt-get .*install .*libclang-rt-19-dev'
check "no other release's runtimes are asked for" never asked 'libclang-rt-14'

# A user who is not root and has no sudo: the set-up stops at once saying what to do.
if PATH="$work/bin-user:$PATH" command -v sudo >/dev/null; then
  echo "skipped the case of a user without sudo: this machine has $(command -v sudo)"
else
  STANDIN_BIN=$work/bin-user STANDIN_MISSING="cmake" run_case no-root
  check "the set-up stops" [ $status -ne 0 ]
  check "it says to run as root or install sudo" \
    said_once "installing cmake needs root, and this user is not root and has no sudo: run install-deps as root, or install sudo"
  check "apt is never asked" never asked '^apt-get'
fi

# The npm registry out of reach, for a copy of the scripts whose viewer has no packages yet: the
# set-up stops naming the folder, that make needs it, and npm's reason in one line.
mkdir -p "$work/copy/scripts" "$work/copy/tools/viewer"
cp "$root/scripts/install-deps" "$work/copy/scripts/"
echo '{}' >"$work/copy/tools/viewer/package-lock.json"
STANDIN_NPM=offline SCRIPT=$work/copy/scripts/install-deps run_case npm-offline
check "the set-up stops" [ $status -ne 0 ]
check "it names the folder, what needs it and why npm failed" \
  said_once "tools/viewer needs its npm packages, and make needs them for the 3D preview page; npm cannot reach its registry (getaddrinfo EAI_AGAIN registry.npmjs.org): connect this machine to it, or set npm's proxy, and run again"
check "npm's own lines are not repeated" never said "npm ERR!"

[ $failed -eq 0 ] && echo "install-deps test: every check passed"
exit $failed
