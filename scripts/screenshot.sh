#!/usr/bin/env bash
# Takes data/screenshots/lesson.png: the real wordpop of a build folder on an X server of its
# own, with a fresh program folder (so the sample dictionaries are what it learns from), its
# first lesson captured with ImageMagick's import, window frame included.
#   bash scripts/screenshot.sh [build folder, default build] [output png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/data/screenshots/lesson.png}
[ -x "$build/wordpop" ] || { echo "no $build/wordpop: build it first (bash scripts/start.sh)" >&2; exit 1; }
for tool in Xvfb import xdotool trayer openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (see scripts/packages.txt)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display number of our own: the first whose lock file does not exist.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "Xvfb did not start on $DISPLAY" >&2; exit 1; }

# A window manager for the frame and a notification area for the icon, as on a desktop.
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" WORDPOP_HOME="$work/program" LANG=ru_RU.UTF-8 \
  "$build/wordpop" >"$work/wordpop.log" 2>&1 &
wordpop=$!
pids+=("$wordpop")

# The lesson window: wordpop's visible window larger than the tray icon. The first start opens a
# lesson by itself; should it not, a click on the tray icon asks for one.
lesson_window() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$wordpop" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" -gt 100 ] && [ "$HEIGHT" -gt 100 ]; then echo "$w"; return 0; fi
  done
  return 1
}
win=""
for i in $(seq 300); do
  win=$(lesson_window) && break
  if [ "$i" = 100 ]; then
    icon=$(xdotool search --onlyvisible --pid "$wordpop" 2>/dev/null | head -1 || true)
    [ -n "$icon" ] && xdotool mousemove --window "$icon" 5 5 click 1
  fi
  sleep 0.1
done
[ -n "$win" ] || { echo "no lesson window appeared; wordpop said:" >&2; cat "$work/wordpop.log" >&2; exit 1; }
# Let it paint, with the pointer out of the way.
xdotool mousemove 0 0
sleep 1
mkdir -p "$(dirname "$out")"
import -frame -window "$win" "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
