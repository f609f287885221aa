#!/usr/bin/env bash
# wordpop-dict against the sqlite3 shell as whole processes, as a user meets them: the same
# 100,000 generated words, the same work on each side, each run RUNS times (default 5), then
# the ratios (wordpop-dict / sqlite3; at or under 1 is the goal) of the best and of the median
# run, in wall-clock seconds and in CPU seconds (user + system, which a machine shared with
# other work disturbs less). The load average is printed before and after.
#   [RUNS=N] bench/dict_process.sh [BUILD_FOLDER]   (default build-bench; wordpop-dict built there)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
runs=${RUNS:-5}
tool=$build/wordpop-dict
[ -x "$tool" ] || { echo "no $tool: build it first (cmake --build $build --target wordpop-dict)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "the sqlite3 shell is not installed (apt-get install sqlite3)" >&2; exit 1; }

work=$(mktemp -d /tmp/wordpop-dict-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# 100,000 words from a fixed seed: words and short phrases, Windows-1251 translations,
# transcriptions and, for some, a sound file.
/usr/bin/python3 - "$work/words.csv" <<'EOF'
import random, sys
rng = random.Random(20261211)
latin = "ba con de ex fa gri ho in jo ka lu man ne or pre qui ra st ter un ver wa xi yo ze ble ght tion ous ly er".split()
cyr = [bytes([a, b]) for a, b in [(0xEA,0xE0),(0xEB,0xEE),(0xEC,0xE5),(0xED,0xE8),(0xF1,0xF2),(0xF2,0xEE),
                                  (0xE2,0xEE),(0xE4,0xE0),(0xE7,0xE0),(0xF0,0xE5),(0xF6,0xE0),(0xF7,0xE8)]]
def word(n):
    return "".join(rng.choice(latin) for _ in range(n))
with open(sys.argv[1], "wb") as out:
    for i in range(100000):
        w1 = word(rng.randint(1, 4)) + (" " + word(rng.randint(1, 3)) if rng.random() < 0.2 else "")
        w2 = b"".join(rng.choice(cyr) for _ in range(rng.randint(2, 5)))
        tr = ("[" + word(rng.randint(1, 3)) + "]") if rng.random() < 0.5 else ""
        wav = ("\\SOUND\\" + w1.split()[0] + ".wav") if rng.random() < 0.1 else ""
        out.write(w1.encode() + b";" + w2 + b";" + tr.encode() + b";" + wav.encode() + b"\r\n")
EOF

# Runs a shell command $runs times (prepared afresh by $2 before each run) and prints
# "WALL_BEST CPU_BEST WALL_MEDIAN CPU_MEDIAN" in seconds; CPU is user + system of the process.
timed() {
    local run=$1 prepare=${2:-true} walls=() cpus=() t r u s
    for ((i = 0; i < runs; ++i)); do
        eval "$prepare"
        t=$( { TIMEFORMAT='%R %U %S'; time eval "$run" >/dev/null 2>&1; } 2>&1 | tail -1)
        read -r r u s <<<"$t"
        walls+=("$r")
        cpus+=("$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }')")
    done
    local w c
    w=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %.3f", v[1], m }')
    c=$(printf '%s\n' "${cpus[@]}" | sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %.3f", v[1], m }')
    read -r wb wm <<<"$w"
    read -r cb cm <<<"$c"
    echo "$wb $cb $wm $cm"
}

sql_schema="CREATE TABLE words(word1 TEXT, word2 TEXT, transcript TEXT, wavfile TEXT,
  miss INTEGER DEFAULT 0, kbmiss INTEGER DEFAULT 0, inrow INTEGER DEFAULT 0,
  kbinrow INTEGER DEFAULT 0, wavstart INTEGER DEFAULT 0, wavend INTEGER DEFAULT 0);
CREATE TEMP TABLE csv(word1, word2, transcript, wavfile);"
sql_import="$sql_schema
.mode csv
.separator ;
.import $work/words.csv csv
BEGIN;
INSERT INTO words(word1, word2, transcript, wavfile) SELECT * FROM csv;
CREATE INDEX miss ON words(miss);
CREATE INDEX kbmiss ON words(kbmiss);
CREATE INDEX word1 ON words(word1);
CREATE INDEX word2 ON words(word2);
COMMIT;"

fresh_dict='rm -f "$work"/D.wrd "$work"/D.cdx'
fresh_db='rm -f "$work"/d.db'

rows=()
row() { # name, timings of wordpop-dict, timings of sqlite3 (as timed prints them)
    rows+=("$(awk -v n="$1" -v w="$2" -v s="$3" 'BEGIN { split(w, a, " "); split(s, b, " ");
        printf "%-44s best %6.3f %6.3f %5.2f  %6.3f %6.3f %5.2f\n%-44s  med %6.3f %6.3f %5.2f  %6.3f %6.3f %5.2f",
            n, a[1], b[1], a[1] / b[1], a[2], b[2], a[2] / b[2],
            "", a[3], b[3], a[3] / b[3], a[4], b[4], a[4] / b[4] }')")
}

echo "load before: $(uptime)"

w=$(timed '"$tool" import "$work/D.wrd" "$work/words.csv" && "$tool" reindex "$work/D.wrd"' "$fresh_dict")
s=$(timed 'sqlite3 "$work/d.db" <<<"$sql_import"' "$fresh_db")
row "import into a new dictionary, then reindex" "$w" "$s"

w=$(timed '"$tool" import "$work/D.wrd" "$work/words.csv"' "$fresh_dict")
row "import into a new dictionary (alone)" "$w" "$s"

# The reading work runs on one dictionary and one database of the 100,000 words.
eval "$fresh_dict"
eval "$fresh_db"
"$tool" import "$work/D.wrd" "$work/words.csv" >/dev/null
sqlite3 "$work/d.db" <<<"$sql_import"

w=$(timed '"$tool" export "$work/D.wrd" --order WORD1')
s=$(timed 'sqlite3 "$work/d.db" "SELECT word1, word2, transcript, wavfile FROM words ORDER BY word1"')
row "export --order WORD1 / SELECT ... ORDER BY" "$w" "$s"

w=$(timed '"$tool" check "$work/D.wrd"')
s=$(timed 'sqlite3 "$work/d.db" "PRAGMA integrity_check"')
row "check / PRAGMA integrity_check" "$w" "$s"

echo "load after:  $(uptime)"
printf '%-44s      %20s  %20s\n' "" "wall-clock seconds" "CPU seconds"
printf '%-44s      %6s %6s %5s  %6s %6s %5s\n' "work (100,000 words, $runs runs each)" wordpop sqlite ratio wordpop sqlite ratio
printf '%s\n' "${rows[@]}"
