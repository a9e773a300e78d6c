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
  # A window shown before the window manager runs gets no frame: wait until
  # openbox announces itself on the root window (up to about ten seconds),
  # then give it a moment to finish starting up.
  if command -v xprop >/dev/null; then
    for _ in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      sleep 0.1
    done
  fi
  sleep 1
fi
status=0
"$@" || status=$?
if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
exit "$status"
