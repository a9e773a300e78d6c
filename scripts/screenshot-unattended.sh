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

mkdir -p "$tree/Fotos/Urlaub"
cp samples/*.JPG samples/Scan.bmp "$tree/Fotos/"
cp samples/Urlaub/*.JPG "$tree/Fotos/Urlaub/"
printf 'BM not a bitmap' > "$tree/Fotos/leer.bmp"
head -c 2000 samples/P1280001.JPG > "$tree/Fotos/Urlaub/abgebrochen.jpg"

for language in German English; do
  locale=C.UTF-8
  if [ "$language" = German ]; then locale=de_DE.UTF-8; fi
  shot="$out/unattended-errors-$language.png"
  cat > "$tree/shoot.sh" <<INNER
#!/usr/bin/env bash
# Inside the Xvfb session: start the run, wait for the error layout, take the picture.
LC_ALL= LC_MESSAGES= LANG=$locale PICTRIM_SCREENSHOT_HOLD_MS=4000 "$build/app/pictrim" "/s:$tree/Fotos" /p:400 /o:yes > "$tree/stdout" 2> "$tree/stderr" &
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
