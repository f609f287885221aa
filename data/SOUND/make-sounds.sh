#!/bin/sh
# Makes the two answer sounds with sox (committed beside this script; run it again after a change).
# ok.wav: a bright rising third, E6 then G#6, bell-like. mistake.wav: a soft falling pair, low.
set -eu
cd "$(dirname "$0")"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fmt="-r 22050 -b 16 -c 1"
note() { # file seconds frequency volume
  sox -n $fmt "$t/$1" synth "$2" sine "$3" sine "$(echo "$3 * 2" | bc)" remix 1,2v0.25 \
    fade q 0.004 "$2" "$(echo "$2 * 0.8" | bc)" vol "$4"
}
note a.wav 0.09 1318.5 0.55
note b.wav 0.22 1661.2 0.55
sox $t/a.wav $t/b.wav $fmt ok.wav
note c.wav 0.14 392.0 0.7
note d.wav 0.30 293.7 0.7
sox $t/c.wav $t/d.wav $fmt mistake.wav
