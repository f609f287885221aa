#!/usr/bin/env bash
# Checks the .deb that package_build.sh made: everything a user installs is in it, where the
# desktop looks for it, and lintian finds no error.
#   package_check.sh <package folder>
set -uo pipefail
deb=$(ls "$1"/wordpop_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no wordpop_*.deb in $1"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
status=0
expect=(
  ./usr/bin/wordpop
  ./usr/bin/wordpop-dict
  ./usr/lib/wordpop/wordpop-hook.so
  ./usr/lib/wordpop/wordpop-hook-wayland.so
  ./usr/lib/wordpop/wordpop-sound.so
  ./usr/lib/wordpop/wordpop-anki.so
  ./usr/lib/wordpop/wordpop-download.so
  ./usr/share/wordpop/langs.dat
  ./usr/share/wordpop/wordpop.html
  ./usr/share/wordpop/wordpop.en.html
  ./usr/share/wordpop/wordpop-server.ini
  ./usr/share/wordpop/SOUND/ok.wav
  ./usr/share/wordpop/SOUND/mistake.wav
  ./usr/share/wordpop/BASE/ON/Animals.wrd
  ./usr/share/wordpop/BASE/ON/Animals.cdx
  ./usr/share/metainfo/org.wordpop.Wordpop.metainfo.xml
  ./usr/share/applications/org.wordpop.Wordpop.desktop
  ./usr/share/icons/hicolor/scalable/apps/wordpop.svg
  ./usr/share/man/man1/wordpop.1.gz
  ./usr/share/man/man1/wordpop-dict.1.gz
  ./usr/share/doc/wordpop/copyright
  ./usr/share/doc/wordpop/changelog.gz
)
for n in 16 22 24 32 48 64 128 256; do expect+=("./usr/share/icons/hicolor/${n}x${n}/apps/wordpop.png"); done
for n in 16 22 24 32 48 64; do
  expect+=("./usr/share/icons/hicolor/${n}x${n}/status/wordpop-lessons-on.png"
           "./usr/share/icons/hicolor/${n}x${n}/status/wordpop-lessons-off.png")
done
for f in "${expect[@]}"; do
  grep -qxF -- "$f" <<<"$contents" || { echo "missing from the package: $f"; status=1; }
done
# Nothing outside /usr, and no build or home folder leaking in.
if bad=$(grep -v '^\./usr/\|^\./$' <<<"$contents"); then echo "outside /usr: $bad"; status=1; fi

# The binaries' libraries became dependencies (dpkg-shlibdeps).
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libc6; do
  grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends"; status=1; }
done

lintian --no-tag-display-limit "$deb" >"$out/lintian.log" 2>/dev/null
cat "$out/lintian.log"
if grep -q '^E:' "$out/lintian.log"; then echo "lintian reports errors"; status=1; fi
exit $status
