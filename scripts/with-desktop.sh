#!/usr/bin/env bash
# Runs a command on the current X display with a window manager, when one is
# installed (openbox), so that windows get their title bar and frame as on a
# desktop; without one the command runs on the bare display.
#   scripts/with-desktop.sh COMMAND [ARGS...]
set -euo pipefail
wm=""
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.5
fi
status=0
"$@" || status=$?
if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
exit "$status"
