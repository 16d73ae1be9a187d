#!/usr/bin/env bash
# tools/test.sh: sets up quorvel and runs every test: the engine's C++ tests, the Python
# tests against the package installed in .venv/, the type checks (mypy), then both suites
# again under ASan and UBSan.
#
# usage: bash tools/test.sh [--quick]
#   --quick  leaves out the sanitizer pass: a check while working (CI runs everything)
# Each build and suite prints its summary only; whatever fails is shown in full.
set -euo pipefail
cd "$(dirname "$0")/.."
QUICK=0
case ${1:-} in
  "") ;;
  --quick) QUICK=1 ;;
  -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
  *) echo "test: unknown argument $1 (usage: bash tools/test.sh [--quick])" >&2; exit 2 ;;
esac

# A CMake build, its log shown only when it fails.
build() {
  cmake --build "$1" -j "$JOBS" >"$1/build.log" 2>&1 || { cat "$1/build.log"; return 1; }
}

# CTest's summary; on failure its whole log but the lines of the tests that passed.
run_ctest() {
  if ctest --test-dir "$1" --output-on-failure -j "$JOBS" >"$1/ctest.log" 2>&1; then
    sed -n '/tests passed/,$p' "$1/ctest.log" | grep .
  else
    grep -v -E '^ +Start +[0-9]+: |Test +#[0-9]+: .* Passed ' "$1/ctest.log"
    return 1
  fi
}

JOBS=${JOBS:-2}
EXTRAS=test,gym,pettingzoo,render,train,ray  # the package's extras whose tests run here, comma-separated
# Pinned before the extras: torch's CPU build on this machine, and the Ray whose RLlib the
# tests run (it pins Gymnasium 1.2, the release the whole suite then runs on).
export QUORVEL_PREINSTALL="torch==2.13.0 ray[rllib]==2.60.0"
VPY=$PWD/.venv/bin/python

QUORVEL_EXTRAS=$EXTRAS bash tools/setup.sh

echo "== engine tests (C++)"
cmake -S . -B build/test -DQUORVEL_BUILD_MODULE=OFF -DQUORVEL_BUILD_TESTS=ON >/dev/null
build build/test
run_ctest build/test

echo "== Python tests (installed package)"
"$VPY" -m pytest tests -q -p no:cacheprovider

# mypy --strict, configured by [tool.mypy] in pyproject.toml: the whole package from the
# checkout, then the README's examples against the package as installed (its py.typed and
# the native modules' stubs), as a user's code sees it.
echo "== type checks (mypy)"
"$VPY" -m mypy
rm -rf build/readme-examples
"$VPY" tests/readme_examples.py build/readme-examples
(cd build/readme-examples && "$VPY" -m mypy --config-file ../../pyproject.toml \
  --cache-dir ../mypy-examples -- *.py)

if [ "$QUICK" = 1 ]; then
  echo "== all tests passed but the sanitizer pass (--quick)"
  exit 0
fi
echo "== sanitizer pass (ASan + UBSan)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON \
  -DQUORVEL_BUILD_TESTS=ON -DPython_EXECUTABLE="$VPY" >/dev/null
build build/asan
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_ctest build/asan
# The interpreter is not instrumented, so the ASan runtime is preloaded into it;
# PYTHONMALLOC=malloc lets ASan see the interpreter's allocations too.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so.6)" \
  PYTHONMALLOC=malloc QUORVEL_SANITIZED=1 PYTHONPATH="$PWD/build/asan/module:$PWD/python" \
  "$VPY" -m pytest tests -q -p no:cacheprovider
echo "== all tests passed"
