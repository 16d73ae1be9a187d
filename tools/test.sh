#!/usr/bin/env bash
# tools/test.sh: sets up quorvel and runs every test: the engine's C++ tests, the Python
# tests against the package installed in .venv/, then both suites again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
EXTRAS=test,gym,pettingzoo,render,train  # the package's extras whose tests run here, comma-separated
export QUORVEL_PREINSTALL="torch==2.13.0"  # pinned before the extras (a CPU build on this machine)
VPY=$PWD/.venv/bin/python

QUORVEL_EXTRAS=$EXTRAS bash tools/setup.sh

echo "== engine tests (C++)"
cmake -S . -B build/test -DQUORVEL_BUILD_MODULE=OFF -DQUORVEL_BUILD_TESTS=ON >/dev/null
cmake --build build/test -j "$JOBS"
ctest --test-dir build/test --output-on-failure -j "$JOBS"

echo "== Python tests (installed package)"
"$VPY" -m pytest tests -q -p no:cacheprovider

echo "== sanitizer pass (ASan + UBSan)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON \
  -DQUORVEL_BUILD_TESTS=ON -DPython_EXECUTABLE="$VPY" >/dev/null
cmake --build build/asan -j "$JOBS"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir build/asan --output-on-failure -j "$JOBS"
# The interpreter is not instrumented, so the ASan runtime is preloaded into it;
# PYTHONMALLOC=malloc lets ASan see the interpreter's allocations too.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so.6)" \
  PYTHONMALLOC=malloc QUORVEL_SANITIZED=1 PYTHONPATH="build/asan/module:python" \
  "$VPY" -m pytest tests -q -p no:cacheprovider
echo "== all tests passed"
