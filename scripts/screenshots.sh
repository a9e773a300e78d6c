#!/usr/bin/env bash
# Screenshots of the main window on a virtual X display (Xvfb): each tab in
# German and in English, and the progress panel with its preview strip during
# a resize job; then the small windows (progress, error layout, path list) and
# the progress window of an unattended run in its error layout
# (scripts/screenshot-unattended.sh), and the colour button's looks in
# colorbutton/; then the whole screen at 1024 x 600 and 1366 x 768 with scale
# 1.5, 1920 x 1080 and 1280 x 800 with scale 2 and 1024 x 600 with a font
# resolution of 144 (screen-*.png). With openbox installed the windows have their title bars and
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
# The whole screen at small sizes, scale factors and a large font: the windows
# fit it, pages scroll, the error window wraps its long lines, and a switch
# of language after a job leaves nothing of the other language.
shoot_screen() {  # SIZE NAME [VARIABLE=VALUE ...]
  local size=$1 name=$2
  shift 2
  env "$@" xvfb-run -a -s "-screen 0 ${size}x24" "$root/scripts/with-desktop.sh" \
    "$build/tests/ui/pictrim_screenshots" "$out" "$name"
}
shoot_screen 1024x600 1024x600-scale1.5 QT_SCALE_FACTOR=1.5
shoot_screen 1366x768 1366x768-scale1.5 QT_SCALE_FACTOR=1.5
shoot_screen 1920x1080 1920x1080-scale2 QT_SCALE_FACTOR=2
shoot_screen 1280x800 1280x800-scale2 QT_SCALE_FACTOR=2
shoot_screen 1024x600 1024x600-fontdpi144 QT_FONT_DPI=144
if command -v import >/dev/null; then
  cmake --build "$build" --target pictrim_ui_demo
  "$root/tests/ui/Screenshots.sh" "$build" "$out"
  "$root/scripts/screenshot-unattended.sh" "$build" "$out"
else
  echo "screenshots: ImageMagick's import is missing; no pictures of the small windows" >&2
fi
echo "screenshots in $out"
