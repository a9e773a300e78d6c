#!/bin/sh
# Takes one screenshot of each small window on a virtual display, in German
# and in English:
#   tests/ui/Screenshots.sh BUILD_DIR OUTPUT_DIR
# Needs xvfb-run and ImageMagick's import.
set -eu
build=${1:?build folder}
out=${2:?output folder}
mkdir -p "$out"
for language in German English; do
  for what in progress errors paths; do
    shot="$out/$what-$language.png"
    xvfb-run -a -s "-screen 0 1024x768x24" "$(dirname "$0")/../../scripts/with-desktop.sh" sh -c "
      '$build/tests/ui/pictrim_ui_demo' $what 4 $language &
      sleep 2
      import -window root '$shot'
      wait"
    echo "$shot"
  done
done
