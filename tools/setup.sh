#!/usr/bin/env bash
# tools/setup.sh: installs what quorvel needs on Debian 12 (compiler, Box2D, GoogleTest,
# Google Benchmark from Debian; CMake from PyPI when absent), then the package itself.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}

missing=()
for pkg in g++ make libbox2d-dev libgtest-dev libbenchmark-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
command -v cmake >/dev/null 2>&1 || "$PYTHON" -m pip install --quiet --root-user-action=ignore cmake

"$PYTHON" -m pip install --quiet --root-user-action=ignore .
