#!/usr/bin/env bash
# Runs "pictrim /s: /p:" on a desktop (Xvfb) over a small tree that produces
# error lines and saves a picture of the progress window in its error layout,
# once in a German and once in an English locale.
# Usage: scripts/screenshot-unattended.sh [BUILD_DIR] [OUT_DIR]
# Needs xvfb-run and ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
out="${2:-$build/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT

# The tree of each language has names in that language, so the English
# picture shows no German.
make_tree() {  # FOLDER TRIP EMPTY_BMP CUT_JPEG
  mkdir -p "$tree/$1/$2"
  cp samples/*.JPG samples/Scan.bmp "$tree/$1/"
  cp samples/Urlaub/*.JPG "$tree/$1/$2/"
  printf 'BM not a bitmap' > "$tree/$1/$3"
  head -c 2000 samples/P1280001.JPG > "$tree/$1/$2/$4"
}

for language in German English; do
  locale=C.UTF-8
  photos=Photos
  if [ "$language" = German ]; then
    locale=de_DE.UTF-8
    photos=Fotos
    make_tree "$photos" Urlaub leer.bmp abgebrochen.jpg
  else
    make_tree "$photos" Holiday empty.bmp cut.jpg
  fi
  shot="$out/unattended-errors-$language.png"
  cat > "$tree/shoot.sh" <<INNER
#!/usr/bin/env bash
# Inside the Xvfb session: start the run, wait for the error layout, take the picture.
LC_ALL= LC_MESSAGES= LANG=$locale PICTRIM_SCREENSHOT_HOLD_MS=4000 "$build/app/pictrim" "/s:$tree/$photos" /p:400 /o:yes > "$tree/stdout" 2> "$tree/stderr" &
pid=\$!
sleep 2.5
import -window root "$shot"
wait \$pid
echo \$? > "$tree/status"
INNER
  chmod +x "$tree/shoot.sh"
  xvfb-run -a -s "-screen 0 800x600x24" scripts/with-desktop.sh "$tree/shoot.sh"
  echo "exit status $(cat "$tree/status"); error lines on stderr:"
  cat "$tree/stderr"
  echo "saved $shot"
done
