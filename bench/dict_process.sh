#!/usr/bin/env bash
# wordpop-dict against the sqlite3 shell as whole processes, as a user meets them: the same
# 100,000 generated words, the same work on each side, each timing the best of 3, then the ratio
# (wordpop-dict / sqlite3; at or under 1 is the goal).
#   bench/dict_process.sh [BUILD_FOLDER]   (default build-bench; wordpop-dict must be built there)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
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

# The best of 3 runs of a shell command (prepared afresh by $2 before each run): wall-clock
# seconds, and the CPU seconds (user + system) of the best CPU run, which a loaded machine
# disturbs less. Prints "WALL CPU".
best_of_3() {
    local run=$1 prepare=${2:-true} wall= cpu= t
    for _ in 1 2 3; do
        eval "$prepare"
        t=$( { TIMEFORMAT='%R %U %S'; time eval "$run" >/dev/null 2>&1; } 2>&1 | tail -1)
        read -r r u s <<<"$t"
        if [ -z "$wall" ] || awk -v a="$r" -v b="$wall" 'BEGIN { exit !(a < b) }'; then wall=$r; fi
        c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%.3f", u + s }')
        if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$c; fi
    done
    echo "$wall $cpu"
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
row() { # name, "wall cpu" of wordpop-dict, "wall cpu" of sqlite3
    rows+=("$(awk -v n="$1" -v w="$2" -v s="$3" 'BEGIN { split(w, a, " "); split(s, b, " ");
        printf "%-44s %7.3f %7.3f %6.2f   %7.3f %7.3f %6.2f", n, a[1], b[1], a[1] / b[1], a[2], b[2], a[2] / b[2] }')")
}

w=$(best_of_3 '"$tool" import "$work/D.wrd" "$work/words.csv" && "$tool" reindex "$work/D.wrd"' "$fresh_dict")
s=$(best_of_3 'sqlite3 "$work/d.db" <<<"$sql_import"' "$fresh_db")
row "import into a new dictionary, then reindex" "$w" "$s"

w=$(best_of_3 '"$tool" import "$work/D.wrd" "$work/words.csv"' "$fresh_dict")
row "import into a new dictionary (alone)" "$w" "$s"

# The reading work runs on one dictionary and one database of the 100,000 words.
eval "$fresh_dict"
eval "$fresh_db"
"$tool" import "$work/D.wrd" "$work/words.csv" >/dev/null
sqlite3 "$work/d.db" <<<"$sql_import"

w=$(best_of_3 '"$tool" export "$work/D.wrd" --order WORD1')
s=$(best_of_3 'sqlite3 "$work/d.db" "SELECT word1, word2, transcript, wavfile FROM words ORDER BY word1"')
row "export --order WORD1 / SELECT ... ORDER BY" "$w" "$s"

w=$(best_of_3 '"$tool" check "$work/D.wrd"')
s=$(best_of_3 'sqlite3 "$work/d.db" "PRAGMA integrity_check"')
row "check / PRAGMA integrity_check" "$w" "$s"

printf '%-44s %23s   %22s\n' "" "wall-clock seconds" "CPU seconds"
printf '%-44s %7s %7s %6s   %7s %7s %6s\n' "work (100,000 words, best of 3)" wordpop sqlite3 ratio wordpop sqlite3 ratio
printf '%s\n' "${rows[@]}"
