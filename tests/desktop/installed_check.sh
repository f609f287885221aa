#!/usr/bin/env bash
# Run by package_install.sh inside its private copy of the system: installs the package with
# apt-get, starts the installed wordpop as a new user on an X server of its own until it shows a
# lesson, uses wordpop-dict from the PATH, and removes and purges the package again. What the
# system wrote is read from the scratch layer of the copy.
#   installed_check.sh <work folder> <scratch layer> <source folder> <build folder>
set -uo pipefail
work=$1
upper=$2
src=$3
build=$4
deb=$(ls "$work"/wordpop_*.deb | head -1)
user=$work/home                       # the new user's HOME
folder=$user/.local/share/wordpop     # the program folder the first start makes
autostart=$user/.config/autostart/wordpop.desktop
status=0
fail() { echo "FAIL: $*"; status=1; }
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap cleanup EXIT

# Every home a maintainer script could reach: root's, those under /home and every login user's.
homes() {
  { echo /root; ls -d /home/* 2>/dev/null
    getent passwd | awk -F: '$3 >= 1000 && $3 < 65534 { print $6 }'; } | sort -u
}
# What the system has written under a home since the copy was made.
written_to_homes() {
  local h
  for h in $(homes); do
    [ -d "$upper$h" ] && find "$upper$h" -mindepth 1 | sed "s|^$upper||"
  done
}
apt() { env HOME="$user" DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
# The user's program folder: every name, with the content of every file.
snapshot() { (cd "$folder" && find . | sort && find . -type f -exec md5sum {} + | sort); }

mkdir -p "$user"
if [ -n "$(ls -A "$src" 2>/dev/null)" ] || [ -e "$build/wordpop" ]; then
  echo "the source or build folder is still visible"; exit 1
fi
# A machine that had the package already starts without it here.
if dpkg -s wordpop >/dev/null 2>&1; then apt purge -y wordpop >/dev/null 2>&1; fi

echo "== apt-get install $deb"
apt install -y "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; echo "apt-get install failed"; exit 1; }
dpkg -s wordpop | grep -qx 'Status: install ok installed' || { cat "$work/install.log"; echo "wordpop is not installed"; exit 1; }
files=$(dpkg -L wordpop)

# Installing wrote into no home, and made no autostart entry anywhere.
written=$(written_to_homes)
[ -z "$written" ] || fail "installing wrote into a home: $written"
[ -z "$(ls -A "$user")" ] || fail "installing wrote into the installing user's HOME: $(ls -A "$user")"
entries=$(find "$upper" -path "$upper/tmp" -prune -o -path '*autostart*' -print)
[ -z "$entries" ] || fail "installing made an autostart entry: $entries"

PATH=/usr/bin:/bin
for tool in wordpop wordpop-dict; do
  [ "$(command -v "$tool")" = "/usr/bin/$tool" ] || fail "$tool is not /usr/bin/$tool on the PATH: $(command -v "$tool")"
done

# What the desktop and the software centre read of the package leads to what it installed.
entry=/usr/share/applications/$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' \
  /usr/share/metainfo/org.wordpop.Wordpop.metainfo.xml)
starts=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry" 2>/dev/null)
[ "$(command -v "$starts")" = /usr/bin/wordpop ] || fail "the menu entry $entry starts \"$starts\", not /usr/bin/wordpop"
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' /usr/share/metainfo/org.wordpop.Wordpop.metainfo.xml); do
  [ -x "/usr/bin/$binary" ] || fail "the metainfo provides $binary, which is not installed"
done
if command -v man >/dev/null; then
  for page in wordpop wordpop-dict; do
    [ "$(man -w "$page" 2>/dev/null)" = "/usr/share/man/man1/$page.1.gz" ] || fail "man finds no installed page $page"
  done
fi

# --- The first start: an X server, a session bus and the accessibility bus of its own ----------
# Everything of the session runs with the new user's HOME (a bus starts services such as dconf
# with its own environment), so that any write into another home is the package's.
mkdir -m 700 "$work/runtime"
session=(env -i HOME="$user" PATH="$PATH" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/runtime")
"${session[@]}" Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
"${session[@]}" dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 600); do [ -s "$work/display" ] && [ -s "$work/bus" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
[ -s "$work/bus" ] || { echo "the session bus did not start"; exit 1; }
display=:$(head -1 "$work/display")
bus=$(head -1 "$work/bus")
session+=(DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS="$bus")
"${session[@]}" /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
# Qt asks for the accessibility bus once at start: it must be there first.
for _ in $(seq 300); do
  "${session[@]}" dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 && break
  sleep 0.1
done

"${session[@]}" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 WORDPOP_MESSAGE_LOG="$work/messages.txt" \
  wordpop >"$work/wordpop.log" 2>&1 &
wp=$!
pids+=("$wp")

# The words a lesson can ask: every dictionary the package brings, exported by the tool.
mkdir "$work/words"
cp /usr/share/wordpop/BASE/ON/* "$work/words/"
for wrd in "$work"/words/*.wrd; do
  wordpop-dict export "$wrd" --utf8 >>"$work/words.txt" || fail "wordpop-dict export $wrd failed"
done
[ -s "$work/words.txt" ] || fail "the package's dictionaries hold no words"

# The trainer window comes up by itself at the first start, asking a word of those. Its caption
# is the product name and version, without the first letter unless in the children's mode.
title='^W?ordpop [0-9]'
for _ in $(seq 180); do
  "${session[@]}" xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && break
  kill -0 "$wp" 2>/dev/null || break
  sleep 0.5
done
"${session[@]}" xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 || fail "no lesson window showed"
word=$("${session[@]}" /usr/bin/python3 "$work/lesson_word.py" "$wp" "$work/words.txt") \
  || fail "the lesson asks no word of the dictionaries: $word"
echo "the lesson asks: $word"

# The modules came from the package, nothing from the source or build folders.
maps=$(cat "/proc/$wp/maps" 2>/dev/null)
for module in wordpop-hook.so wordpop-sound.so; do
  grep -q " /usr/lib/wordpop/$module\$" <<<"$maps" || fail "$module is not loaded from /usr/lib/wordpop/"
done
! grep -F -e " $src/" -e " $build/" <<<"$maps" || fail "something is mapped from the source or build folder"

# The program folder was filled from the package's data folder; the settings file was made.
(cd /usr/share/wordpop && find . -type f ! -path './BASE/*') | while read -r f; do
  cmp -s "/usr/share/wordpop/$f" "$folder/$f" || echo "FAIL: $f of the data folder is not in $folder"
done | grep . && status=1
(cd /usr/share/wordpop && find BASE -type f) | while read -r f; do
  [ -f "$folder/$f" ] || echo "FAIL: $f of the sample dictionaries is not in $folder"
done | grep . && status=1
for f in BASE/LEARNED BASE/OFF BASE/LEARNEDOFF TEMP NEWS; do
  [ -d "$folder/$f" ] || fail "$folder/$f was not made"
done
[ -s "$folder/wordpop.opt" ] || fail "no settings file in $folder"

# The autostart entry is made by the program and removed by `wordpop -r`.
grep -qx 'Exec="/usr/bin/wordpop"' "$autostart" 2>/dev/null && grep -qx 'Path=/usr/bin' "$autostart" \
  || fail "no autostart entry for /usr/bin/wordpop: $(cat "$autostart" 2>&1)"
"${session[@]}" wordpop -r >>"$work/wordpop.log" 2>&1 || fail "wordpop -r ended with $?"
[ ! -e "$autostart" ] || fail "wordpop -r left $autostart"
kill -0 "$wp" 2>/dev/null || fail "wordpop ended before it was asked to"

kill -TERM "$wp" 2>/dev/null
for _ in $(seq 300); do kill -0 "$wp" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$wp" 2>/dev/null; then
  fail "wordpop did not end on SIGTERM"
  kill -KILL "$wp"
fi
wait "$wp"
code=$?
[ $code -eq 0 ] || fail "wordpop ended with $code"
[ ! -s "$work/messages.txt" ] || fail "wordpop said: $(cat "$work/messages.txt")"
[ $status -eq 0 ] || { echo "wordpop's output:"; cat "$work/wordpop.log"; }

# The dictionary tool on the user's copy of a bundled dictionary.
wrd=$(ls "$folder"/BASE/ON/*.wrd | head -1)
wordpop-dict check "$wrd" >"$work/check.log" 2>&1 || fail "wordpop-dict check $wrd: $(cat "$work/check.log")"
cmp -s <(wordpop-dict export "$wrd" --utf8) <(wordpop-dict export "$work/words/$(basename "$wrd")" --utf8) \
  || fail "wordpop-dict export of $wrd differs from the package's copy"

# --- Removing and purging leave the user's folder alone and nothing of the package -----------
before=$(snapshot)
apt remove -y wordpop >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove failed"; }
[ ! -e /usr/bin/wordpop ] || fail "apt-get remove left /usr/bin/wordpop"
[ "$(snapshot)" = "$before" ] || fail "apt-get remove changed $folder"
apt purge -y wordpop >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge failed"; }
dpkg -s wordpop >/dev/null 2>&1 && fail "wordpop is still known to dpkg after the purge"
[ "$(snapshot)" = "$before" ] || fail "apt-get purge changed $folder"
while read -r f; do
  # Folders such as /usr/share/man/man1 stay for the packages they belong to as well.
  if [ -e "$f" ] && { [ ! -d "$f" ] || [[ "$f" == *wordpop* ]]; }; then fail "$f is left after the purge"; fi
done <<<"$files"
# Nor anything a maintainer script made: no name of ours anywhere the system wrote (deletions,
# kept in the layer as character devices, aside).
left=$(find "$upper" -path "$upper/tmp" -prune -o -iname '*wordpop*' ! -type c -print)
[ -z "$left" ] || fail "left after the purge: $left"
written=$(written_to_homes)
[ -z "$written" ] || fail "installing or removing wrote into a home: $written"
exit $status
