#!/usr/bin/env bash
# Makes the Debian package in a build folder (cpack -G DEB) and checks it:
# the files it installs, a dependency for every library its programs link,
# the licence (the copyright file, the software-centre entry, --version), a
# menu entry that takes folders from a file manager, and that the programs
# run from the unpacked package (a headless resize of a copy of samples/),
# the decoder found in its private folder.
#
#   scripts/package.sh [BUILD_FOLDER]       (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$root/build}")"
fail() { echo "package: $*" >&2; exit 1; }

cmake --build "$build" -j2 --target pictrim pictrim-decoder pictrim_manual pictrim_changelog
rm -f "$build"/pictrim_*.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log" >&2; fail "cpack failed"; }
deb="$(ls "$build"/pictrim_*.deb)"
echo "package: $deb"

work="$(mktemp -d)"
build_decoder="$build/app/pictrim-decoder"
cleanup() {
  [ -f "$build_decoder" ] && chmod +x "$build_decoder"
  rm -rf "$work"
}
trap cleanup EXIT

# The files, nothing more and nothing less.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/pictrim
./usr/lib/pictrim/pictrim-decoder
./usr/share/applications/pictrim.desktop
./usr/share/bash-completion/completions/pictrim
./usr/share/doc/pictrim/changelog.gz
./usr/share/doc/pictrim/copyright
./usr/share/icons/hicolor/256x256/apps/pictrim.png
./usr/share/icons/hicolor/scalable/apps/pictrim.svg
./usr/share/man/man1/pictrim.1.gz
./usr/share/metainfo/org.pictrim.pictrim.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above"
cat "$work/files"

# Every library a program of the package links directly comes from a
# package it depends on.
dpkg-deb -x "$deb" "$work/root"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
[[ ", $depends," == *", fonts-dejavu-core,"* ]] || fail "fonts-dejavu-core is not a dependency"
owner() {
  local path
  for path in "$1" "$(realpath "$1")" "/usr$1" "${1#/usr}"; do
    dpkg-query -S "$path" 2>/dev/null | head -1 | cut -d: -f1 && return 0
  done
  return 1
}
for program in "$work/root/usr/bin/pictrim" "$work/root/usr/lib/pictrim/pictrim-decoder"; do
  for needed in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
    # The dynamic loader is listed by ldd without an arrow.
    path="$(ldd "$program" | awk -v lib="$needed" '$1 == lib { print $3 } $1 ~ "/" lib "$" { print $1 }')"
    [ -n "$path" ] || fail "${program##*/} needs $needed, which is not installed"
    package="$(owner "$path")" || fail "no package holds $path"
    [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
      fail "${program##*/} needs $needed from $package, which is not a dependency"
  done
done

# The licence, stated alike in every place a user or a tool looks for it.
licence=GPL-3.0-or-later
copyright="$work/root/usr/share/doc/pictrim/copyright"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" ||
  fail "the copyright file is not in Debian's machine-readable form"
grep -q '^License: GPL-3+$' "$copyright" || fail "the copyright file does not name GPL-3+"
grep -q "<project_license>$licence</project_license>" \
  "$work/root/usr/share/metainfo/org.pictrim.pictrim.metainfo.xml" ||
  fail "the software-centre entry does not name $licence"
[ "$(stat -c %a "$copyright")" = 644 ] || fail "the copyright file is not readable by all"

# The menu entry takes the folders a file manager hands over, and is offered for folders.
desktop="$work/root/usr/share/applications/pictrim.desktop"
grep -qx 'Exec=pictrim %F' "$desktop" || fail "the menu entry's Exec takes no folders (%F)"
grep -qx 'MimeType=inode/directory;' "$desktop" || fail "the menu entry is not offered for folders"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
fi

# Debian's own check of the package finds no error.
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
  cat "$work/lintian"
  ! grep -q '^E: ' "$work/lintian" || fail "lintian finds errors in the package"
fi

# The unpacked program runs headless and finds its decoder in its private
# folder; the decoder of the build tree, its last resort, is made unusable
# meanwhile, so a lookup that misses the private folder fails here.
[ -f "$build_decoder" ] && chmod -x "$build_decoder"
program="$work/root/usr/bin/pictrim"
version="$(dpkg-deb -f "$deb" Version)"
[ "$("$program" --version | head -1)" = "Pictrim $version" ] || fail "pictrim --version does not say $version"
"$program" --version | grep -q "$licence" || fail "pictrim --version does not name $licence"
cp -r "$root/samples" "$work/samples"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
  "$program" resize --edge 64 "$work/samples" >"$work/out" 2>"$work/err" ||
  { cat "$work/err" >&2; fail "the headless resize did not end with 0"; }
pictures="$(find "$work/samples" -type f | wc -l)"
copies="$(find "$work/samples_MAXSIZE64" -type f -name '*.jpg' | wc -l)"
[ "$copies" -eq "$pictures" ] || fail "$copies copies of $pictures pictures"
[ ! -e "$work/home" ] || fail "a job of the command line wrote settings"
echo "package: checked ($pictures pictures resized by the unpacked program)"
