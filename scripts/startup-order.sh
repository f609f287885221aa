#!/usr/bin/env bash
# Writes cmake/startup-order.txt: the functions of the wordpop executable that run from exec to
# the first lesson window, in Russian and in English, found with callgrind under a private X
# server. Optimised builds linked
# with lld place them together (cmake/StartupOrder.cmake). Run it again after large changes to
# start-up; names that no longer exist are ignored by the linker, missing ones only cost pages.
#   scripts/startup-order.sh <build folder holding wordpop>
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: scripts/startup-order.sh <build folder>}
program=$(realpath "$build/wordpop")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/home"
export WORDPOP_HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home
export QT_QPA_PLATFORM=xcb
# A first start makes the program folder; the measured one starts on it, as users do.
run() {
  local seconds=$1
  shift
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "\"\$@\" & p=\$!; sleep $seconds; kill -TERM \$p; wait \$p" _ "$@" || true
}
WORDPOP_LANG=ru run 5 "$program"
for lang in ru en; do
  WORDPOP_LANG=$lang run 60 valgrind --tool=callgrind --demangle=no \
    --callgrind-out-file="$work/callgrind.$lang" "$program"
done
/usr/bin/python3 - "$program" "$work"/callgrind.* >cmake/startup-order.txt <<'PY'
import re, sys
found = set()
line = re.compile(r'^(ob|cob|fn|cfn)=\((\d+)\)(?: (.*))?$')
for profile in sys.argv[2:]:
    names, objects, current = {}, {}, None
    for text in open(profile, errors='replace'):
        m = line.match(text.rstrip('\n'))
        if not m:
            continue
        kind, key, name = m.groups()
        if kind in ('ob', 'cob'):
            if name:
                objects[key] = name
            if kind == 'ob':
                current = objects.get(key)
        else:
            if name:
                names[key] = name
            if kind == 'fn' and current == sys.argv[1]:
                found.add(names[key])
for name in sorted(found):
    if not name.startswith(('0x', '(')):
        print(name)
PY
echo "cmake/startup-order.txt: $(wc -l <cmake/startup-order.txt) functions"
