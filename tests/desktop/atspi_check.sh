#!/usr/bin/env bash
# The lesson window as a screen reader gets it: the real wordpop with a fresh program folder, on
# the X server and session bus this script is run under (xvfb-run, dbus-run-session), with the
# accessibility bus of at-spi2-core; atspi_walk.py then finds no unnamed control.
#   atspi_check.sh <wordpop> <atspi_walk.py>
set -uo pipefail
wordpop=$1
walk=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.log" 2>&1 &
pids+=($!)
# Qt asks for the accessibility bus once at start: it must be there first.
for _ in $(seq 300); do
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 && break
  sleep 0.1
done
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 || {
  echo "the accessibility bus did not start"; cat "$work/bus.log"; exit 1; }

mkdir -p "$work/home"
# Its own program folder: the build folder is a portable one that other tests' copies share.
env WORDPOP_HOME="$work/home/.local/share/wordpop" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  "$wordpop" >"$work/wordpop.log" 2>&1 &
wp=$!
pids+=("$wp")
/usr/bin/python3 "$walk" wordpop "$wp"
status=$?
[ $status -eq 0 ] || { echo "wordpop said:"; cat "$work/wordpop.log"; }
exit $status
