#!/usr/bin/env bash
# Installs the Debian package for real and removes it again; for a disposable
# Debian 12 machine, as root (scripts/package.sh makes and checks the package
# without installing it). Checks the installed program: its version, a
# headless resize of a copy of samples/, the window's files in the user's
# configuration folder and none beside the program, the menu entry, the
# manual page and the completion; then that "dpkg -r pictrim" leaves nothing
# of the package behind.
#
#   scripts/install-check.sh [BUILD_FOLDER]       (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
fail() { echo "install-check: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "run as root"
! dpkg-query -W pictrim >/dev/null 2>&1 || fail "pictrim is installed already"
deb="$(ls "$build"/pictrim_*.deb)" || fail "no package in $build (scripts/package.sh)"

work="$(mktemp -d)"
window=""
cleanup() {
  [ -n "$window" ] && kill -- "-$window" 2>/dev/null
  dpkg-query -W pictrim >/dev/null 2>&1 && dpkg -r pictrim >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# What is on the machine before, less the caches the triggers rebuild.
snapshot() {
  find /usr /etc /var/lib/dpkg/info -xdev -path /usr/share/icons/hicolor/icon-theme.cache \
    -prune -o -print | sort
}
snapshot >"$work/before"

cp "$deb" "$work/"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$work/${deb##*/}" >/dev/null
[ "$(command -v pictrim)" = /usr/bin/pictrim ] || fail "pictrim is not /usr/bin/pictrim"
[ "$(pictrim --version)" = "Pictrim $(dpkg-deb -f "$deb" Version)" ] || fail "wrong version"

cp -r "$root/samples" "$work/samples"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" pictrim resize --edge 800 "$work/samples" \
  >/dev/null 2>"$work/err" || { cat "$work/err" >&2; fail "the headless resize failed"; }
[ "$(find "$work/samples_MAXSIZE800" -name '*.jpg' | wc -l)" -eq \
  "$(find "$work/samples" -type f | wc -l)" ] || fail "not every sample was resized"

if command -v xvfb-run >/dev/null; then
  # The window writes its language files at start: into the configuration folder.
  setsid env HOME="$work/home" xvfb-run -a pictrim >/dev/null 2>&1 &
  window=$!
  for _ in $(seq 600); do
    [ -f "$work/home/.config/pictrim/LANGUAGE_English.ini" ] && break
    sleep 0.1
  done
  kill -- "-$window"
  window=""
  [ -f "$work/home/.config/pictrim/LANGUAGE_German.ini" ] || fail "no language files in ~/.config/pictrim"
  ! ls /usr/bin/*.ini >/dev/null 2>&1 || fail "files were written beside /usr/bin/pictrim"
fi

desktop-file-validate /usr/share/applications/pictrim.desktop || fail "menu entry"
[ "$(man -w pictrim)" = /usr/share/man/man1/pictrim.1.gz ] || fail "manual page"
bash --norc -c 'source /usr/share/bash-completion/completions/pictrim
  COMP_WORDS=(pictrim res); COMP_CWORD=1; _pictrim; [ "${COMPREPLY[*]}" = resize ]' ||
  fail "completion"

dpkg -r pictrim >/dev/null
snapshot >"$work/after"
diff "$work/before" "$work/after" || fail "files of the package are left behind"
echo "install-check: installed, used and removed without a trace"
