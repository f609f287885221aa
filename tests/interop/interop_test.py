"""Wordpop's dictionary files exchanged with independent dBase tools, both ways.

Debian's python3-dbfread (reader), python3-dbf (reader and writer) and dbview (reader) stand
for the other dBase programs a user may have. Every case compares against values the test
itself chose, so a fault on either side shows; the Wordpop side is read through
"wordpop-dict dump" and changed through the tool and the cursor (interop_cursor).
Run by run.sh with Debian's /usr/bin/python3; the group name picks one TestCase.
"""

import datetime
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import dbf
import dbfread

DICT = os.environ.get("WORDPOP_DICT", "")
CURSOR = os.environ.get("INTEROP_CURSOR", "")
DATA = os.environ.get("WORDPOP_DATA_DIR", "")

TOPIC = [("WORD1", "C", 80, 0), ("WORD2", "C", 80, 0), ("TRANSCRIPT", "C", 80, 0),
         ("MISS", "N", 5, 0), ("KBMISS", "N", 5, 0), ("INROW", "N", 5, 0), ("KBINROW", "N", 5, 0),
         ("WAVFILE", "C", 255, 0), ("WAVSTART", "N", 20, 0), ("WAVEND", "N", 20, 0)]
LEARNED = TOPIC + [("DATE", "D", 8, 0)]
GENERIC = [("NAME", "C", 30, 0), ("QTY", "N", 5, 0), ("PRICE", "N", 10, 2), ("WHEN", "D", 8, 0),
           ("OK", "L", 1, 0)]

# Windows-1251 beyond Cyrillic letters: the bytes 0x80..0xBF hold these.
SPECIALS = "Ђђ€‰«»—№Її"


# ---------------------------------------------------------------------------------------------
# The model: a record is (deleted, {FIELD: value}) with Python values as dbfread gives them
# (str, int, float, datetime.date, bool, None for blank).

def ymd(day):
    """yyyymmdd with four year digits (strftime drops the zeros of years below 1000)."""
    return "%04d%02d%02d" % (day.year, day.month, day.day)


def rec(layout, deleted=False, **values):
    out = {}
    for name, kind, _length, _dec in layout:
        out[name] = values.get(name, "" if kind == "C" else None)
    return (deleted, out)


def wordpop_text(kind, dec, value):
    """A value as "wordpop-dict dump" prints it: blank numbers read 0, blank dates empty."""
    if kind == "C":
        return value
    if kind == "N":
        if dec == 0:
            return str(int(value or 0))
        return "%.*f" % (dec, value or 0)
    if kind == "D":
        return ymd(value) if value else ""
    if kind == "L":
        return "T" if value else "F"
    raise AssertionError(kind)


def as_written_by_wordpop(layout, model):
    """What Wordpop stores for a model value: numbers are never blank in its own records."""
    out = []
    for deleted, values in model:
        v = dict(values)
        for name, kind, _length, dec in layout:
            if kind == "N" and v[name] is None:
                v[name] = 0 if dec == 0 else 0.0
        out.append((deleted, v))
    return out


def record_bytes(layout, deleted, values):
    """The exact bytes of one record as the table format lays them out."""
    out = bytearray(b"*" if deleted else b" ")
    for name, kind, length, dec in layout:
        v = values[name]
        if kind == "C":
            out += v.encode("cp1251").ljust(length, b" ")
        elif kind == "N":
            text = "" if v is None else (str(v) if dec == 0 else "%.*f" % (dec, v))
            out += text.encode("ascii").rjust(length, b" ")
        elif kind == "D":
            out += ymd(v).encode() if v else b" " * 8
        elif kind == "L":
            out += b"?" if v is None else (b"T" if v else b"F")
    return bytes(out)


def dbf_spec(layout):
    parts = []
    for name, kind, length, dec in layout:
        if kind == "C":
            parts.append("%s C(%d)" % (name, length))
        elif kind == "N":
            parts.append("%s N(%d,%d)" % (name, length, dec))
        else:
            parts.append("%s %s" % (name, kind))
    return "; ".join(parts)


# ---------------------------------------------------------------------------------------------
# The two sides.

def run(args, stdin=None, expect=0):
    p = subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if expect is not None and p.returncode != expect:
        raise AssertionError("%s exited %d, not %d\nstdout: %s\nstderr: %s" % (
            " ".join(args), p.returncode, expect, p.stdout.decode("cp1251", "replace"),
            p.stderr.decode("cp1251", "replace")))
    return p


def tool(*args, expect=0):
    return run([DICT] + list(args), expect=expect)


def cursor(path, *lines):
    """Runs script lines (parts as a list) through the dataset cursor."""
    script = "".join("\t".join(parts) + "\n" for parts in lines)
    return run([CURSOR, path], stdin=script.encode("cp1251")).stdout.decode("cp1251")


def field_args(values):
    """FIELD=VALUE parts for the cursor script (blank numbers and dates are cleared)."""
    out = []
    for name, v in values.items():
        if isinstance(v, datetime.date):
            out.append("%s=%s" % (name, ymd(v)))
        elif v is None:
            out.append(name + "=")
        else:
            out.append("%s=%s" % (name, v))
    return out


def wordpop_dump(path, layout):
    """Every record as Wordpop reads it: [(recno, deleted, [texts])]."""
    out = []
    for line in tool("dump", "--deleted", path).stdout.decode("cp1251").split("\n"):
        if not line:
            continue
        parts = line.split("\t")
        deleted = parts[0].endswith("*")
        # Taken as printed: dump writes tab, CR and LF as \t \r \n but leaves "\" alone, so
        # "\SOUND\rooster.wav" cannot be told from an escape; no value here holds those characters.
        out.append((int(parts[0].rstrip("*")), deleted, parts[1:]))
    return out


def expected_dump(layout, model):
    return [(i + 1, deleted, [wordpop_text(k, d, values[n]) for n, k, _l, d in layout])
            for i, (deleted, values) in enumerate(model)]


def dbf_alias(path):
    """python3-dbf takes only names ending in .dbf: a second name for the same file."""
    alias = os.path.splitext(path)[0] + ".dbf"
    if not os.path.exists(alias):
        os.link(path, alias)
    return alias


def dbf_records(path, layout):
    """Every record in file order as python3-dbf reads it, after checking the descriptors."""
    t = dbf.Table(dbf_alias(path), codepage="cp1251")
    t.open(dbf.READ_ONLY)
    try:
        if t.field_names != [n.lower() for n, _k, _l, _d in layout]:
            raise AssertionError("python3-dbf sees the fields %s" % t.field_names)
        for name, kind, length, dec in layout:
            info = t.field_info(name.lower())
            if (chr(info[0]), info[1], info[2]) != (kind, length, dec):
                raise AssertionError("python3-dbf sees %s as %s" % (name, info))
        out = []
        for r in t:
            values = {}
            for name, kind, _l, _d in layout:
                v = r[name.lower()]
                values[name] = v.rstrip() if kind == "C" else v
            out.append((dbf.is_deleted(r), values))
        return out
    finally:
        t.close()


def header(path):
    with open(path, "rb") as f:
        return f.read(32)


class Exchange(unittest.TestCase):
    def setUp(self):
        if not DICT or not CURSOR:
            self.fail("WORDPOP_DICT and INTEROP_CURSOR must name wordpop-dict and interop_cursor")
        self.dir = tempfile.mkdtemp(prefix="wordpop-interop-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    # -- what the other tools read --------------------------------------------------------

    def assert_dbfread_reads(self, path, layout, model, language_driver):
        t = dbfread.DBF(path, encoding="cp1251", load=True, char_decode_errors="strict")
        self.assertEqual([(f.name, f.type, f.length, f.decimal_count) for f in t.fields], layout)
        self.assertEqual(t.header.numrecords, len(model))
        self.assertEqual(t.header.headerlen, header_length(path))
        self.assertEqual(t.header.recordlen, 1 + sum(length for _n, _k, length, _d in layout))
        self.assertEqual(t.header.language_driver, language_driver)
        self.assertEqual([dict(r) for r in t.records], [v for d, v in model if not d])
        self.assertEqual([dict(r) for r in t.deleted], [v for d, v in model if d])

    def assert_dbf_reads(self, path, layout, model):
        self.assertEqual(dbf_records(path, layout), model)


    def assert_dbview_reads(self, path, layout, model):
        if not shutil.which("dbview"):
            return  # a third reader where installed; dbfread and dbf are required
        out = run(["dbview", "-b", "-t", "-D", "-d", "\t", path]).stdout.decode("cp1251")
        rows = [line.split("\t") for line in out.split("\n") if line]
        want = []
        for deleted, values in model:
            cells = ["*" if deleted else " "]
            for name, kind, _l, dec in layout:
                v = values[name]
                if kind == "N":
                    cells.append(str(v) if dec == 0 else "%.*f" % (dec, v))
                elif kind == "D":
                    cells.append(ymd(v) if v else "")
                else:
                    cells.append(v)
            want.append(cells + [""])
        self.assertEqual(rows, want)

    def assert_wordpop_reads(self, path, layout, model):
        self.assertEqual(wordpop_dump(path, layout), expected_dump(layout, model))

    def assert_records_bytes(self, path, layout, model, end_mark=True):
        """The records as bytes: Windows-1251 text stored as it is, numbers and dates as laid out.
        Visual FoxPro tables of python3-dbf end without the end mark."""
        with open(path, "rb") as f:
            data = f.read()
        start = header_length(path)
        length = 1 + sum(l for _n, _k, l, _d in layout)
        for i, (deleted, values) in enumerate(model):
            got = data[start + i * length:start + (i + 1) * length]
            self.assertEqual(got, record_bytes(layout, deleted, values), "record %d" % (i + 1))
        self.assertIn(data[start + len(model) * length:], (b"\x1a",) if end_mark else (b"", b"\x1a"))

    def assert_dictionary_opens(self, path, model):
        """The program's opening: the index is built (or rebuilt) and every live word is in it."""
        out = cursor(path, ["opendict"], ["list", "MISS"], ["list", "WORD1"])
        self.assertTrue(os.path.exists(path[:-4] + ".cdx"))
        lines = [l.split("\t") for l in out.split("\n") if l]
        live = [(i + 1, v) for i, (d, v) in enumerate(model) if not d]
        by_miss = sorted(live, key=lambda r: (r[1]["MISS"] or 0, r[0]))
        by_word1 = sorted(live, key=lambda r: (r[1]["WORD1"].encode("cp1251").ljust(80), r[0]))
        want = [[str(n), v["WORD1"]] for n, v in by_miss + by_word1]
        self.assertEqual(lines, want)

    def assert_exports(self, path, model):
        out = tool("export", path).stdout
        want = "".join("%s;%s;%s;%s\n" % (v["WORD1"], v["WORD2"], v["TRANSCRIPT"], v["WAVFILE"])
                       for d, v in model if not d)
        self.assertEqual(out, want.encode("cp1251"))

    def assert_reindex_check(self, path, exact_layout=True):
        cdx = path[:-4] + ".cdx"
        if os.path.exists(cdx):
            os.remove(cdx)
        tool("reindex", path)
        if exact_layout:
            self.assertIn(b": sound", tool("check", path).stdout)
            return
        out = tool("check", path, expect=1).stdout.decode("cp1251")
        self.assertEqual([l for l in out.split("\n") if "problem" in l or "layout" in l],
                         [path + ": the fields are neither the topic nor the learned dictionary layout",
                          path + ": 1 problem"])


def header_length(path):
    h = header(path)
    return h[8] | h[9] << 8


def nearest_layout(layout, kind):
    """python3-dbf makes numbers of at most 19 digits in dBase III and Clipper tables and texts of
    at most 254 characters in Visual FoxPro ones: the dictionary layout as near as each allows."""
    out = []
    for name, k, length, dec in layout:
        if k == "N" and length > 19 and kind in ("db3", "clp"):
            length = 19
        if k == "C" and length > 254 and kind == "vfp":
            length = 254
        out.append((name, k, length, dec))
    return out


def python_dbf_table(path, layout, kind, model):
    """A table made by python3-dbf (named .dbf while it writes, then given its real name)."""
    base = os.path.splitext(path)[0]
    t = dbf.Table(base + ".dbf", dbf_spec(layout), dbf_type=kind, codepage="cp1251")
    t.open(dbf.READ_WRITE)
    python_dbf_append(t, layout, model)
    t.close()
    if path != base + ".dbf":
        os.rename(base + ".dbf", path)


def python_dbf_append(t, layout, model):
    for deleted, values in model:
        t.append(tuple(values[n] for n, _k, _l, _d in layout))
        if deleted:
            dbf.delete(t[-1])


def python_dbf_open(path):
    t = dbf.Table(dbf_alias(path), codepage="cp1251")
    t.open(dbf.READ_WRITE)
    return t


# Words of a dictionary made by Wordpop: Cyrillic, the Windows-1251 specials, an 80-character
# word, an empty TRANSCRIPT, numbers up to the widths, a sound path in the stored form.
TOPIC_WORDS = [
    rec(TOPIC, WORD1="apple", WORD2="яблоко", TRANSCRIPT="[эпл]"),
    rec(TOPIC, WORD1="house", WORD2="дом, здание"),
    rec(TOPIC, WORD1="Ёлка", WORD2="ёлка, ель", TRANSCRIPT="[jolka]",
        WAVFILE="\\SOUND\\yolka.wav"),
    rec(TOPIC, WORD1="Ж" * 80, WORD2=SPECIALS, TRANSCRIPT="«Щ» — №1"),
    rec(TOPIC, WORD1="gone", WORD2="удалённое"),
]


class WordpopToOthers(Exchange):
    def make_topic(self):
        """A dictionary made by create + import, then counters and a deletion through the cursor."""
        path = self.path("Тема.wrd")
        tool("create", path)
        csv = self.path("words.csv")
        with open(csv, "wb") as f:
            for _d, v in TOPIC_WORDS:
                f.write(("%s;%s;%s;%s\r\n" % (v["WORD1"], v["WORD2"], v["TRANSCRIPT"], v["WAVFILE"]))
                        .encode("cp1251"))
        tool("import", path, csv)
        numbers = {2: dict(MISS=3, KBMISS=1, INROW=2, KBINROW=0, WAVSTART=0, WAVEND=1234567),
                   3: dict(MISS=99999, KBMISS=0, INROW=99, KBINROW=99, WAVSTART=2147483647,
                           WAVEND=1)}
        cursor(path, ["opendict"],
               *[["edit", str(n)] + field_args(v) for n, v in numbers.items()],
               ["delete", "5"])
        model = as_written_by_wordpop(TOPIC, TOPIC_WORDS)
        for n, v in numbers.items():
            model[n - 1][1].update(v)
        model[4] = (True, model[4][1])
        return path, model

    def test_topic_made_by_create_and_import(self):
        path, model = self.make_topic()
        self.assert_wordpop_reads(path, TOPIC, model)
        self.assert_records_bytes(path, TOPIC, model)
        self.assertEqual(header(path)[29], 0, "a new dictionary names no code page")
        self.assert_dbfread_reads(path, TOPIC, model, 0)
        self.assert_dbf_reads(path, TOPIC, model)
        self.assert_dbview_reads(path, TOPIC, model)
        tool("check", path)

    def test_sample_dictionaries_read_whole(self):
        # What the program ships, made by the build's data step with wordpop-dict.
        files = sorted(glob.glob(os.path.join(DATA, "BASE", "*", "*.wrd"))) if DATA else []
        if not files:
            self.skipTest("the sample dictionaries are not built (target wordpop-data)")
        for shipped in files:
            with self.subTest(dictionary=os.path.basename(shipped)):
                path = self.path(os.path.basename(shipped))
                shutil.copyfile(shipped, path)
                t = dbfread.DBF(path, encoding="cp1251", load=True, char_decode_errors="strict")
                layout = [(f.name, f.type, f.length, f.decimal_count) for f in t.fields]
                self.assertIn(layout, (TOPIC, LEARNED))
                model = dbf_records(path, layout)
                self.assertGreater(len(model), 0)
                self.assert_dbfread_reads(path, layout, model, 0)
                self.assert_wordpop_reads(path, layout, model)
                self.assert_records_bytes(path, layout, model)

    def test_cursor_copy_reads_whole(self):
        # The cursor's copy (the editor's working copy): live records only, in the tag's order.
        path, model = self.make_topic()
        copy = self.path("copy.wrd")
        cursor(path, ["opendict"], ["copyto", copy, "WORD1"])
        live = [v for d, v in model if not d]
        want = [(False, v) for v in sorted(live, key=lambda v: v["WORD1"].encode("cp1251").ljust(80))]
        self.assertEqual(header(copy)[0], 3)
        self.assert_records_bytes(copy, TOPIC, want)
        self.assert_dbfread_reads(copy, TOPIC, want, 0)
        self.assert_dbf_reads(copy, TOPIC, want)
        self.assert_wordpop_reads(copy, TOPIC, want)

    def test_learned_made_through_the_cursor(self):
        path = self.path("learned.wrd")
        words = [
            rec(LEARNED, WORD1="дом", WORD2="house", INROW=0, DATE=datetime.date(2024, 2, 29)),
            rec(LEARNED, WORD1="год", WORD2="year", TRANSCRIPT="[йиэ]",
                DATE=datetime.date(1999, 12, 31), MISS=7),
            rec(LEARNED, WORD1="миллениум", WORD2="millennium", DATE=datetime.date(2000, 1, 1)),
            rec(LEARNED, WORD1="никогда", WORD2="never", DATE=None),
            rec(LEARNED, WORD1="Щ", WORD2=SPECIALS, DATE=datetime.date(2100, 12, 31),
                WAVFILE="/home/user/щ.wav", WAVEND=44100),
        ]
        cursor(path, ["create", "learned"],
               *[["append"] + field_args({k: x for k, x in v.items() if x not in ("", None)})
                 for _d, v in words],
               ["opendict"], ["delete", "2"])
        model = as_written_by_wordpop(LEARNED, words)
        model[1] = (True, model[1][1])

        self.assert_wordpop_reads(path, LEARNED, model)
        self.assert_records_bytes(path, LEARNED, model)
        self.assert_dbfread_reads(path, LEARNED, model, 0)
        self.assert_dbf_reads(path, LEARNED, model)
        self.assert_dbview_reads(path, LEARNED, model)
        tool("check", path)


# Words as other tools write them: blank numbers, blank dates, blank TRANSCRIPT, deleted ones.
def foreign_words(layout):
    words = [
        rec(layout, WORD1="кошка", WORD2="cat", TRANSCRIPT="[кэт]", MISS=2, KBMISS=None,
            INROW=1, KBINROW=None, WAVSTART=None, WAVEND=None),
        rec(layout, WORD1="dog", WORD2="собака", MISS=None, KBMISS=None, INROW=None, KBINROW=None,
            WAVSTART=None, WAVEND=None),
        rec(layout, True, WORD1="удалено", WORD2="deleted", MISS=5, KBMISS=5, INROW=0, KBINROW=0,
            WAVSTART=0, WAVEND=0),
        rec(layout, WORD1=SPECIALS, WORD2="Ё" * 80, TRANSCRIPT="x", MISS=0, KBMISS=3, INROW=0,
            KBINROW=0, WAVFILE="\\SOUND\\a.wav", WAVSTART=0, WAVEND=99999),
        rec(layout, WORD1="Ёж", WORD2="hedgehog", MISS=1, KBMISS=0, INROW=0, KBINROW=0, WAVSTART=0,
            WAVEND=0),
    ]
    if layout is LEARNED:
        dates = [datetime.date(2023, 1, 31), None, datetime.date(2000, 2, 29), datetime.date(1901, 1, 1),
                 None]
        for (_d, v), day in zip(words, dates):
            v["DATE"] = day
    return words


GENERIC_ROWS = [
    rec(GENERIC, NAME="Привет, мир", QTY=5, PRICE=1.25, WHEN=datetime.date(2024, 2, 29), OK=True),
    rec(GENERIC, NAME="", QTY=None, PRICE=None, WHEN=None, OK=None),
    rec(GENERIC, True, NAME="удалена", QTY=-3, PRICE=-0.5, WHEN=datetime.date(1999, 12, 31), OK=False),
    rec(GENERIC, NAME=SPECIALS, QTY=99999, PRICE=9999999.99, WHEN=datetime.date(2000, 1, 1), OK=False),
    rec(GENERIC, True, NAME="и эта", QTY=0, PRICE=0.0, WHEN=None, OK=True),
    rec(GENERIC, NAME="first day", QTY=1, PRICE=0.01, WHEN=datetime.date(1, 1, 1), OK=True),
    rec(GENERIC, NAME="last day", QTY=-9999, PRICE=-99999.99, WHEN=datetime.date(9999, 12, 31),
        OK=False),
]

# python3-dbf's kinds: dBase III, Clipper and Visual FoxPro (version byte 0x30 with its
# 263-byte trailer after the descriptors). Its plain FoxPro kind ("fp") is left out: it writes
# version byte 0x00, which python3-dbf itself cannot open again (tested below).
KINDS = ["db3", "clp", "vfp"]


class OthersToWordpop(Exchange):
    def test_tables_of_every_kind_read_whole(self):
        for kind in KINDS:
            with self.subTest(kind=kind):
                path = self.path("generic_%s.dbf" % kind)
                python_dbf_table(path, GENERIC, kind, GENERIC_ROWS)
                with open(path, "rb") as f:
                    before = f.read()
                self.assert_dbfread_reads(path, GENERIC, GENERIC_ROWS, 0xC9)
                self.assert_wordpop_reads(path, GENERIC, GENERIC_ROWS)
                live = tool("dump", path).stdout.decode("cp1251").split("\n")
                self.assertEqual([l.split("\t")[0] for l in live if l], ["1", "2", "4", "6", "7"])
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), before, "reading changed the file")

    def test_clipper_long_text(self):
        # Clipper keeps a text longer than 255 with the high byte of its length in the decimals.
        layout = [("LONGTEXT", "C", 300, 0), ("N", "N", 3, 0)]
        rows = [rec(layout, LONGTEXT="Щ" * 299 + "!", N=7), rec(layout, LONGTEXT="short", N=None)]
        path = self.path("long.dbf")
        t = dbf.Table(path, "LONGTEXT C(300); N N(3,0)", dbf_type="clp", codepage="cp1251")
        t.open(dbf.READ_WRITE)
        python_dbf_append(t, layout, rows)
        t.close()
        self.assert_records_bytes(path, layout, rows)
        self.assert_wordpop_reads(path, layout, rows)

    def test_dictionaries_of_every_kind_open_as_dictionaries(self):
        for kind in KINDS:
            for base in (TOPIC, LEARNED):
                with self.subTest(kind=kind, learned=base is LEARNED):
                    path = self.path("%s_%d.wrd" % (kind, len(base)))
                    layout = nearest_layout(base, kind)
                    words = foreign_words(base)
                    python_dbf_table(path, layout, kind, words)
                    first = header(path)
                    self.assert_wordpop_reads(path, layout, words)
                    self.assert_exports(path, words)
                    self.assert_dictionary_opens(path, words)
                    # Opening wrote the header (production index flag, date): the rest stays.
                    after = header(path)
                    self.assertEqual(after[0], first[0])
                    self.assertEqual(after[4:16], first[4:16])
                    self.assertEqual(after[29:], first[29:], "language driver byte and reserved bytes")
                    self.assertEqual(after[28] & 1, 1)
                    self.assert_records_bytes(path, layout, words, kind != "vfp")
                    # Sound apart from the one field width python3-dbf could not give.
                    self.assert_reindex_check(path, layout == base)
                    self.assert_dbfread_reads(path, layout, words, 0xC9)

    def test_dictionaries_written_by_python_dbf_into_the_exact_layout(self):
        # The exact widths come from Wordpop's creator; every record is python3-dbf's.
        for base in (TOPIC, LEARNED):
            with self.subTest(learned=base is LEARNED):
                path = self.path("exact_%d.wrd" % len(base))
                tool("create", path, *(["--learned"] if base is LEARNED else []))
                words = foreign_words(base)
                t = python_dbf_open(path)
                python_dbf_append(t, base, words)
                t.close()
                self.assert_records_bytes(path, base, words)
                self.assert_wordpop_reads(path, base, words)
                self.assert_exports(path, words)
                self.assert_dictionary_opens(path, words)
                self.assertIn(b": sound", tool("check", path).stdout)
                self.assert_reindex_check(path)
                self.assert_dbfread_reads(path, base, words, header(path)[29])

    def test_cursor_copy_of_a_foxpro_table(self):
        # A Visual FoxPro table's copy is a dBase III table: no trailer, the same descriptors.
        layout = nearest_layout(TOPIC, "vfp")
        path = self.path("fox.wrd")
        words = foreign_words(TOPIC)
        python_dbf_table(path, layout, "vfp", words)
        copy = self.path("fox_copy.wrd")
        cursor(path, ["open"], ["copyto", copy])
        want = [(False, v) for d, v in words if not d]
        self.assertEqual(header(copy)[0], 3)
        self.assertEqual(header_length(copy), 32 * len(layout) + 33)
        self.assert_records_bytes(copy, layout, want)
        self.assert_dbfread_reads(copy, layout, want, 0)
        self.assert_dbf_reads(copy, layout, want)
        self.assert_wordpop_reads(copy, layout, want)

    def test_numbers_beyond_32_bits_keep_to_the_range(self):
        # WAVSTART and WAVEND are N(20,0): other tools store more than the 32-bit integers the
        # cursor gives. Read, they keep to the range's ends (never wrap into another number);
        # an edit of another field leaves their bytes as they were.
        path = self.path("wide.wrd")
        tool("create", path)
        words = [rec(TOPIC, WORD1="a", WORD2="б", MISS=1, KBMISS=0, INROW=0, KBINROW=0,
                     WAVSTART=5000000000, WAVEND=-2147483649),
                 rec(TOPIC, WORD1="c", WORD2="д", MISS=0, KBMISS=0, INROW=0, KBINROW=0,
                     WAVSTART=2147483647, WAVEND=-2147483648),
                 rec(TOPIC, WORD1="e", WORD2="ё", MISS=0, KBMISS=0, INROW=0, KBINROW=0,
                     WAVSTART=-99999999999, WAVEND=4294967296)]
        t = python_dbf_open(path)
        python_dbf_append(t, TOPIC, words)
        t.close()
        cursor(path, ["opendict"], ["edit", "1", "MISS=2"])
        words[0][1]["MISS"] = 2
        self.assert_records_bytes(path, TOPIC, words)
        dump = [(n, values[8:]) for n, _d, values in wordpop_dump(path, TOPIC)]
        self.assertEqual(dump, [(1, ["2147483647", "-2147483648"]), (2, ["2147483647", "-2147483648"]),
                                (3, ["-2147483648", "2147483647"])])
        self.assert_dbfread_reads(path, TOPIC, words, header(path)[29])

    def test_broken_foxpro_kind_is_refused_cleanly(self):
        # python3-dbf's "fp" writes version byte 0x00 (0x30 masked with 0x03); neither side reads it.
        base = self.path("fox")
        t = dbf.Table(base + ".dbf", "NAME C(10)", dbf_type="fp", codepage="cp1251")
        self.assertEqual(header(base + ".dbf")[0], 0)
        del t
        p = tool("dump", base + ".dbf", expect=1)
        self.assertIn(b"dBase DBF file header invalid", p.stderr)
        self.assertEqual(tool("check", base + ".dbf", expect=1).returncode, 1)


class Appends(Exchange):
    def test_python_dbf_appends_to_a_wordpop_dictionary(self):
        path = self.path("mine.wrd")
        csv = self.path("w.csv")
        with open(csv, "wb") as f:
            f.write("one;один;\r\ntwo;два;[ту]\r\nthree;три;\r\n".encode("cp1251"))
        tool("import", path, csv)  # a new dictionary, with its index
        model = as_written_by_wordpop(TOPIC, [
            rec(TOPIC, WORD1="one", WORD2="один"), rec(TOPIC, WORD1="two", WORD2="два", TRANSCRIPT="[ту]"),
            rec(TOPIC, WORD1="three", WORD2="три")])
        tool("check", path)

        added = [rec(TOPIC, WORD1="четыре", WORD2="four", MISS=4, KBMISS=None, INROW=None,
                     KBINROW=None, WAVSTART=None, WAVEND=None),
                 rec(TOPIC, WORD1="Ёлка", WORD2=SPECIALS, MISS=0, KBMISS=0, INROW=0, KBINROW=0,
                     WAVSTART=0, WAVEND=0)]
        t = python_dbf_open(path)
        python_dbf_append(t, TOPIC, added)
        dbf.delete(t[1])
        t.close()
        model = model + added
        model[1] = (True, model[1][1])

        self.assert_dbfread_reads(path, TOPIC, model, header(path)[29])
        self.assert_wordpop_reads(path, TOPIC, model)
        # The other tool did not keep the index: the check says so, the program's opening mends it.
        self.assertNotIn(b": sound", tool("check", path, expect=1).stdout)
        self.assert_dictionary_opens(path, model)

        # And Wordpop appends after the other tool, which reads it all again.
        cursor(path, ["opendict"], ["append", "WORD1=пять", "WORD2=five", "KBMISS=2"])
        model.append(as_written_by_wordpop(TOPIC, [rec(TOPIC, WORD1="пять", WORD2="five", KBMISS=2)])[0])
        self.assert_dbf_reads(path, TOPIC, model)
        self.assert_dbfread_reads(path, TOPIC, model, header(path)[29])
        self.assert_wordpop_reads(path, TOPIC, model)
        tool("check", path)
        self.assert_reindex_check(path)

    def test_python_dbf_pack_of_a_wordpop_dictionary(self):
        # Packing renumbers the records behind the index; the program's opening notices and rebuilds.
        path = self.path("packed.wrd")
        csv = self.path("w.csv")
        words = [("one", "один"), ("two", "два"), ("three", "три"), ("four", "четыре"), ("five", "пять")]
        with open(csv, "wb") as f:
            f.write("".join("%s;%s\r\n" % w for w in words).encode("cp1251"))
        tool("import", path, csv)
        cursor(path, ["opendict"], ["edit", "2", "MISS=5"], ["delete", "3"])
        t = python_dbf_open(path)
        t.pack()
        t.close()
        kept = [w for i, w in enumerate(words) if i != 2]
        model = as_written_by_wordpop(TOPIC, [rec(TOPIC, WORD1=a, WORD2=b, MISS=5 if a == "two" else 0)
                                              for a, b in kept])
        self.assert_records_bytes(path, TOPIC, model)
        self.assert_dbfread_reads(path, TOPIC, model, header(path)[29])
        self.assert_wordpop_reads(path, TOPIC, model)
        self.assert_dictionary_opens(path, model)
        self.assertIn(b": sound", tool("check", path).stdout)

    def test_pack_that_keeps_the_index_ends_in_range(self):
        # The highest keys stay on record 1 and the last record's key is the deleted one's, so
        # only a walk of every entry shows that the index still names record 3.
        path = self.path("stale.wrd")
        csv = self.path("w.csv")
        with open(csv, "wb") as f:
            f.write("zzz;яяя\r\na;б\r\na;б\r\n".encode("cp1251"))
        tool("import", path, csv)
        cursor(path, ["opendict"], ["edit", "1", "MISS=9", "KBMISS=9"], ["delete", "2"])
        t = python_dbf_open(path)
        t.pack()
        t.close()
        model = as_written_by_wordpop(TOPIC, [rec(TOPIC, WORD1="zzz", WORD2="яяя", MISS=9, KBMISS=9),
                                              rec(TOPIC, WORD1="a", WORD2="б")])
        self.assert_dictionary_opens(path, model)

    def test_python_dbf_edit_in_place_needs_reindex(self):
        # Another tool that rewrites a word in place leaves the index with the old key; opening
        # only notices an index that lacks records, so the check names it and reindex mends it.
        path = self.path("edited.wrd")
        csv = self.path("w.csv")
        with open(csv, "wb") as f:
            f.write("apple;яблоко\r\nbee;пчела\r\ncat;кошка\r\n".encode("cp1251"))
        tool("import", path, csv)
        t = python_dbf_open(path)
        with t[0] as r:
            r.word1 = "zebra"
            r.miss = 9
        t.close()
        out = tool("check", path, expect=1).stdout.decode("cp1251")
        self.assertIn("tag WORD1: record 1 missing", out)
        self.assertIn("tag MISS: record 1 missing", out)
        tool("reindex", path)
        self.assertIn(b": sound", tool("check", path).stdout)
        model = as_written_by_wordpop(TOPIC, [rec(TOPIC, WORD1="zebra", WORD2="яблоко", MISS=9),
                                              rec(TOPIC, WORD1="bee", WORD2="пчела"),
                                              rec(TOPIC, WORD1="cat", WORD2="кошка")])
        self.assert_dictionary_opens(path, model)

    def test_wordpop_appends_to_python_dbf_tables(self):
        for kind in ("db3", "vfp"):
            with self.subTest(kind=kind):
                path = self.path("theirs_%s.wrd" % kind)
                layout = nearest_layout(LEARNED, kind)
                words = foreign_words(LEARNED)
                python_dbf_table(path, layout, kind, words)
                with open(path, "rb") as f:
                    original = f.read()
                hl = header_length(path)

                csv = self.path("more.csv")
                with open(csv, "wb") as f:
                    f.write("шесть;six;[сикс];\\SOUND\\6.wav\r\n".encode("cp1251"))
                tool("import", path, csv)  # no index yet: appended to the table alone
                cursor(path, ["opendict"],
                       ["append", "WORD1=семь", "WORD2=seven", "MISS=1", "DATE=20240301"],
                       ["edit", "1", "INROW=3"], ["delete", "4"])
                model = [(d, dict(v)) for d, v in words]
                model[0][1]["INROW"] = 3
                model[3] = (True, model[3][1])
                model += as_written_by_wordpop(layout, [
                    rec(layout, WORD1="шесть", WORD2="six", TRANSCRIPT="[сикс]", WAVFILE="\\SOUND\\6.wav"),
                    rec(layout, WORD1="семь", WORD2="seven", MISS=1, DATE=datetime.date(2024, 3, 1))])

                with open(path, "rb") as f:
                    now = f.read()
                self.assertEqual(now[0], original[0], "version byte")
                self.assertEqual(now[8:12], original[8:12], "header and record length")
                self.assertEqual(now[29], 0xC9, "language driver byte")
                self.assertEqual(now[32:hl], original[32:hl], "descriptors and trailer")
                self.assert_records_bytes(path, layout, model)
                self.assert_dbfread_reads(path, layout, model, 0xC9)
                self.assert_dbf_reads(path, layout, model)
                self.assert_wordpop_reads(path, layout, model)

                # The other tool appends once more after Wordpop.
                more = [rec(layout, WORD1="восемь", WORD2="eight", DATE=datetime.date(2024, 3, 2))]
                t = python_dbf_open(path)
                python_dbf_append(t, layout, more)
                t.close()
                model += more
                self.assert_wordpop_reads(path, layout, model)
                self.assert_dictionary_opens(path, model)
                self.assert_reindex_check(path, False)
                self.assert_dbfread_reads(path, layout, model, 0xC9)


if __name__ == "__main__":
    group = sys.argv[1] if len(sys.argv) > 1 else None
    argv = [sys.argv[0]] + ([group] if group else [])
    unittest.main(argv=argv, verbosity=2)
