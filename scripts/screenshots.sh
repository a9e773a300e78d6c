#!/usr/bin/env bash
# Screenshots of the main window on a virtual X display (Xvfb): each tab in
# German and in English, and the progress panel with its preview strip during
# a resize job; then the small windows (progress, error layout, path list) and
# the progress window of an unattended run in its error layout
# (scripts/screenshot-unattended.sh), and the colour button's looks in
# colorbutton/. With openbox installed the windows have their title bars and
# frames, as on a desktop. The pictures are PNG files in the folder given
# (default: build/screenshots), taken from the X server's pixels of the window.
#
#   scripts/screenshots.sh [OUTPUT_FOLDER]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PICTRIM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-$build/screenshots}")"

command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (apt-get install xvfb xauth)" >&2; exit 2; }
if [ ! -d "$build" ]; then
  cmake -S "$root" -B "$build" -G Ninja
fi
cmake --build "$build" --target pictrim_screenshots pictrim pictrim-decoder pictrim_colorbutton_demo
mkdir -p "$out"

# The execute button's looks, drawn without a display.
QT_QPA_PLATFORM=offscreen "$build/tests/widgets/pictrim_colorbutton_demo" "$out/colorbutton"

xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/with-desktop.sh" \
  "$build/tests/ui/pictrim_screenshots" "$out"
if command -v import >/dev/null; then
  cmake --build "$build" --target pictrim_ui_demo
  "$root/tests/ui/Screenshots.sh" "$build" "$out"
  "$root/scripts/screenshot-unattended.sh" "$build" "$out"
else
  echo "screenshots: ImageMagick's import is missing; no pictures of the small windows" >&2
fi
echo "screenshots in $out"
