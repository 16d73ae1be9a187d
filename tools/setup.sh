#!/usr/bin/env bash
# tools/setup.sh: installs what quorvel needs on Debian 12 and the package into the virtual environment .venv/.
#
# usage: bash tools/setup.sh [--rebuild] [EXTRA[,EXTRA...]]
#
# Installs from Debian what is missing (compiler, CMake, Box2D, GoogleTest, Google Benchmark,
# the interpreter's venv module and headers), then installs the package into .venv/ with the
# light extras every README example needs (gym, pettingzoo, render) and the extras named as
# arguments or in $QUORVEL_EXTRAS (comma-separated; `test` for the test suite, `train` for the
# trainer, which brings torch). Requirements pinned in $QUORVEL_PREINSTALL (space-separated,
# e.g. "torch==2.13.0") are installed first, so that an extra's looser range is already met.
# The interpreter's own packages are never touched.
#
# .venv/ is made from $PYTHON (default python3) when there is none. An existing one is kept,
# and said so, even when it was made from another interpreter; --rebuild (or QUORVEL_REBUILD=1,
# for the scripts that call this one) makes it anew from $PYTHON with the extras it had.
set -euo pipefail
cd "$(dirname "$0")/.."
LIGHT_EXTRAS=gym,pettingzoo,render
BASE_PYTHON=${PYTHON:-python3}
REBUILD=${QUORVEL_REBUILD:-0}
EXTRAS=${QUORVEL_EXTRAS:-}
VENV=.venv
VPY=$VENV/bin/python
INSTALLED=$VENV/.quorvel-extras  # every extra this script installed here, comma-separated

for arg in "$@"; do
  case $arg in
    --rebuild) REBUILD=1 ;;
    -h|--help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "setup: unknown option $arg (see bash tools/setup.sh --help)" >&2; exit 2 ;;
    *) EXTRAS=${EXTRAS:+$EXTRAS,}$arg ;;
  esac
done

# Debian's interpreter ships its venv bootstrap (ensurepip) and its headers separately.
missing=()
for pkg in g++ make libbox2d-dev libgtest-dev libbenchmark-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
if command -v "$BASE_PYTHON" >/dev/null 2>&1; then
  "$BASE_PYTHON" -c 'import ensurepip' >/dev/null 2>&1 || missing+=(python3-venv)
  headers=$("$BASE_PYTHON" -c 'import sysconfig; print(sysconfig.get_path("include"))')
  [ -f "$headers/Python.h" ] || missing+=(python3-dev)
else
  missing+=(python3 python3-venv python3-dev)
fi
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "setup: installing from Debian: ${missing[*]}"
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Which interpreter a Python is: "Python 3.11.2 at /usr/bin/python3.11", symlinks resolved.
describe='import os, sys; print("Python", sys.version.split()[0], "at", os.path.realpath(sys._base_executable))'
asked=$("$BASE_PYTHON" -c "$describe")

# The environment is never deleted unannounced: one that works is kept whatever it was
# made from (unless a rebuild is asked for); one that does not run is made anew. Either way
# the extras it had are installed again, and what it held is listed first.
replace=""
if [ -e "$VENV" ]; then
  if found=$("$VPY" -c "$describe" 2>/dev/null); then
    if [ "$REBUILD" = 1 ]; then
      replace=" as asked (it was made from $found)"
    elif [ "$found" = "$asked" ]; then
      echo "setup: using .venv/ ($found)"
    else
      echo "setup: keeping .venv/, made from $found, though $BASE_PYTHON is $asked;" \
           "to make it anew from that one with the same extras, run again with QUORVEL_REBUILD=1"
    fi
  else
    gone=$(sed -n 's/^executable = //p' "$VENV/pyvenv.cfg" 2>/dev/null || true)
    replace=": the one there does not run (its interpreter ${gone:-(unknown)} is gone or broken)"
  fi
fi
if [ -n "$replace" ]; then
  had=$(cat "$INSTALLED" 2>/dev/null || true)
  EXTRAS=${EXTRAS:+$EXTRAS,}$had
  record=build/venv-packages-before-rebuild.txt
  mkdir -p build
  # Read from the package folders, which a broken interpreter does not stop.
  find "$VENV"/lib/python*/site-packages -maxdepth 1 -name '*.dist-info' -printf '%f\n' 2>/dev/null \
    | sed -E 's/^(.*)-([^-]*)\.dist-info$/\1==\2/' | grep -v '^quorvel==' | sort >"$record" || true
  echo "setup: making .venv/ anew from $asked$replace;" \
       "the extras it had (${had:-the light ones}) are installed again; everything it held" \
       "is listed in $record (.venv/bin/pip install -r $record puts back what was added by hand)"
  rm -rf "$VENV"
elif [ ! -e "$VENV" ]; then
  echo "setup: making .venv/ from $asked"
fi
[ -e "$VENV" ] || "$BASE_PYTHON" -m venv "$VENV"
pip=("$VPY" -m pip install --quiet --root-user-action=ignore)

# The build backend once per environment (and again when pyproject.toml changes them), so that
# each later install builds incrementally in build/ instead of in a fresh isolated environment.
requires=$("$VPY" -c 'import tomllib
print(*tomllib.load(open("pyproject.toml", "rb"))["build-system"]["requires"])')
if [ "$(cat "$VENV/.build-requires" 2>/dev/null)" != "$requires" ]; then
  # shellcheck disable=SC2086  # one word per requirement
  "${pip[@]}" $requires
  echo "$requires" >"$VENV/.build-requires"
fi

# Requirements pinned ahead of the extras ($QUORVEL_PREINSTALL, space-separated), so that an
# extra's looser range is already met by the pinned release and nothing else is fetched.
if [ -n "${QUORVEL_PREINSTALL:-}" ]; then
  # shellcheck disable=SC2086  # one word per requirement
  "${pip[@]}" $QUORVEL_PREINSTALL
fi
# The extras as one sorted list without repeats: the light ones, those asked for now and
# those installed before (pip leaves those in place, so naming them again costs a check only).
all=$(printf '%s\n' ${LIGHT_EXTRAS//,/ } ${EXTRAS//,/ } $(tr ',' ' ' 2>/dev/null <"$INSTALLED") \
  | sort -u | paste -sd, -)
echo "setup: installing quorvel into .venv/ with the extras $all"
"${pip[@]}" --no-build-isolation ".[$all]"
echo "$all" >"$INSTALLED"
