#!/usr/bin/python3
"""No Russian text the user could read is left out of translation.

In every source folder that has a translation file (translations/wordpop_<folder>_en.ts), each
string literal holding a Cyrillic letter must be the text of a translation call: tr("…"),
QCoreApplication::translate("Context", "…"), QT_TRANSLATE_NOOP("Context", "…"), QT_TR_NOOP("…"),
or a comment/disambiguation argument of one. A text that must stay as it is (a stored text, a
file name, a key) says so with a comment holding "untranslated" on its line or the line above.
    unmarked_check.py <source root>
"""
import glob
import os
import re
import sys

CYRILLIC = re.compile(r"[\u0400-\u04FF]")
MARKED_BEFORE = [
    re.compile(r"\b(?:tr|QT_TR_NOOP|QT_TR_N_NOOP)\s*\($"),
    re.compile(r"\b(?:translate|QT_TRANSLATE_NOOP|QT_TRANSLATE_N_NOOP|QT_TRANSLATE_NOOP3)\s*\(\s*"
               r"\"(?:[^\"\\]|\\.)*\"\s*,$"),
    # the disambiguation after a source text
    re.compile(r"\btr\s*\(\s*\"(?:[^\"\\]|\\.)*\"\s*,$"),
    re.compile(r"\b(?:translate|QT_TRANSLATE_NOOP3)\s*\(\s*\"(?:[^\"\\]|\\.)*\"\s*,\s*"
               r"\"(?:[^\"\\]|\\.)*\"\s*,$"),
]


def scan(text):
    """The code with comments blanked (same length, same lines), the comments by line, and the
    string literals as (start, end) spans; adjacent literals are one group."""
    code = list(text)
    comments = {}
    literals = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            comments.setdefault(text.count("\n", 0, i), []).append(text[i:j])
            code[i:j] = " " * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            comments.setdefault(text.count("\n", 0, i), []).append(text[i:j])
            code[i:j] = [ch if ch == "\n" else " " for ch in text[i:j]]
            i = j
        elif c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif c == '"':
            m = re.match(r'R"([^(\s]*)\(', text[i - 1:i + 20]) if i > 0 and text[i - 1] == "R" else None
            if m:
                end = text.find(")" + m.group(1) + '"', i)
                j = n if end < 0 else end + len(m.group(1)) + 2
            else:
                j = i + 1
                while j < n and text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                j += 1
            literals.append((i, j))
            i = j
        else:
            i += 1
    return "".join(code), comments, literals


def groups(code, literals):
    out = []
    for start, end in literals:
        if out and not code[out[-1][1]:start].strip():
            out[-1] = (out[-1][0], end)
        else:
            out.append((start, end))
    return out


def problems_in(path):
    text = open(path, encoding="utf-8", errors="replace").read()
    code, comments, literals = scan(text)
    found = []
    for start, end in groups(code, literals):
        if not CYRILLIC.search(text[start:end]):
            continue
        before = code[max(0, start - 300):start].rstrip()
        # u"", u8"", L"" prefixes and QStringLiteral(…) are not translation calls; only what
        # directly precedes the literal counts.
        if any(p.search(before) for p in MARKED_BEFORE):
            continue
        line = text.count("\n", 0, start)
        notes = comments.get(line, []) + comments.get(line - 1, [])
        if any("untranslated" in c for c in notes):
            continue
        found.append(f"{path}:{line + 1}: not marked for translation: {text[start:end][:80]}")
    return found


def main():
    root = sys.argv[1]
    folders = []
    for ts in sorted(glob.glob(os.path.join(root, "translations", "wordpop_*_en.ts"))):
        folders.append(re.fullmatch(r"wordpop_(.+)_en\.ts", os.path.basename(ts)).group(1))
    problems = []
    for folder in folders:
        for path in sorted(glob.glob(os.path.join(root, "src", folder, "**", "*.*"), recursive=True)):
            if path.endswith((".cpp", ".h")):
                problems += problems_in(path)
    for p in problems:
        print(p)
    print(f"{len(folders)} folders, {len(problems)} texts not marked")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
