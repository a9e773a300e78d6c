#!/usr/bin/env bash
# Installs what Pictrim needs, builds it, and runs the resize job (longer
# edge 800 pixels) on a copy of the sample folder. Prints where the copies went.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target pictrim -j"$(nproc)"

work="$(mktemp -d "${TMPDIR:-/tmp}/pictrim-sample.XXXXXX")"
cp -r samples "$work/samples"
echo "Resizing a copy of the samples: $work/samples"
status=0
copies="$("$build/app/pictrim" resize --edge 800 "$work/samples")" || status=$?
echo
if [ -n "$copies" ]; then
  echo "The copies went to: $copies"
  ls -R "$copies"
fi
exit "$status"
