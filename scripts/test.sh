#!/usr/bin/env bash
# Configures, builds and runs the whole test suite. Extra arguments go to
# CMake, e.g. -DPICTRIM_SANITIZE=ON (use another BUILD_DIR for that build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DPICTRIM_WERROR=ON "$@"
cmake --build "$build" -j"$(nproc)"
testdata="${PICTRIM_TESTDATA:-$(cd .. && pwd)/shared/testdata}"
if [ ! -d "$testdata" ]; then
  echo "note: the camera files are not in $testdata; the tests that need them are skipped" >&2
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
