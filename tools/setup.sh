#!/usr/bin/env bash
# tools/setup.sh: installs what quorvel needs on Debian 12 (compiler, CMake when absent,
# Box2D, GoogleTest, Google Benchmark, the interpreter's venv module and headers), then makes a
# virtual environment .venv/ from $PYTHON (default python3) and installs there the build backend
# and the package with the extras named in $QUORVEL_EXTRAS (comma-separated, e.g. "test"),
# after any requirements pinned in $QUORVEL_PREINSTALL (e.g. "torch==2.13.0").
# The interpreter's own packages are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
BASE_PYTHON=${PYTHON:-python3}
EXTRAS=${QUORVEL_EXTRAS:-}
VENV=.venv
VPY=$VENV/bin/python

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

# The environment is kept between runs, and made anew when it is broken or was built
# from another interpreter than the one asked for now.
base=$("$BASE_PYTHON" -c 'import os, sys; print(os.path.realpath(sys.executable))')
if ! { "$VPY" -c '' 2>/dev/null && [ "$(cat "$VENV/.base-python" 2>/dev/null)" = "$base" ]; }; then
  rm -rf "$VENV"
  "$BASE_PYTHON" -m venv "$VENV"
  echo "$base" >"$VENV/.base-python"
fi
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
"${pip[@]}" --no-build-isolation ".${EXTRAS:+[$EXTRAS]}"
