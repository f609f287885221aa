#!/usr/bin/python3
"""Every text the user reads has a finished English translation.

For each translations/wordpop_<folder>_en.ts: a copy is refreshed from src/<folder> with lupdate
(so a text added to the code without its translation counts), then every message must have a
finished translation that keeps the source's place markers (%1, %n) and keyboard accelerator,
is no longer Cyrillic, and lrelease must report nothing unfinished or untranslated.
    ts_check.py <source root> <lupdate> <lrelease>
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ARG = re.compile(r"%(?:L?\d+|n)")
CYRILLIC = re.compile(r"[\u0400-\u04FF]")


def accelerators(text):
    return len(re.findall(r"&(?!&)\S", text.replace("&&", "")))


def message_problems(context, message):
    source = message.findtext("source") or ""
    tr = message.find("translation")
    where = f"{context}: {source!r}"
    if tr is None:
        return [f"{where}: no translation"]
    kind = tr.get("type", "")
    if kind in ("unfinished", "vanished", "obsolete"):
        return [f"{where}: translation {kind}"]
    forms = [f.text or "" for f in tr.findall("numerusform")] if message.get("numerus") == "yes" \
        else [tr.text or ""]
    problems = []
    for text in forms:
        if not text.strip():
            problems.append(f"{where}: empty translation")
            continue
        if sorted(set(ARG.findall(source))) != sorted(set(ARG.findall(text))):
            problems.append(f"{where}: markers differ in {text!r}")
        if accelerators(source) != accelerators(text):
            problems.append(f"{where}: accelerator lost or added in {text!r}")
        if CYRILLIC.search(text):
            problems.append(f"{where}: translation still Cyrillic: {text!r}")
    return problems


def check(root, lupdate, lrelease, ts, work):
    name = os.path.basename(ts)
    m = re.fullmatch(r"wordpop_(.+)_en\.ts", name)
    if not m:
        return [f"{name}: not named wordpop_<folder>_en.ts"]
    folder = os.path.join(root, "src", m.group(1))
    if not os.path.isdir(folder):
        return [f"{name}: no source folder {folder}"]
    copy = os.path.join(work, name)
    shutil.copyfile(ts, copy)
    run = subprocess.run([lupdate, folder, "-ts", copy, "-source-language", "ru",
                          "-target-language", "en", "-locations", "none", "-no-obsolete"],
                         capture_output=True, text=True)
    if run.returncode != 0:
        return [f"{name}: lupdate failed: {run.stdout}{run.stderr}"]
    problems = []
    tree = ET.parse(copy)
    if tree.getroot().get("sourcelanguage") != "ru" or tree.getroot().get("language") != "en":
        problems.append(f"{name}: languages are not ru -> en")
    for context in tree.getroot().iter("context"):
        cname = context.findtext("name") or ""
        for message in context.iter("message"):
            problems += [f"{name}: {p}" for p in message_problems(cname, message)]
    run = subprocess.run([lrelease, copy, "-qm", os.path.join(work, name + ".qm")],
                         capture_output=True, text=True)
    out = run.stdout + run.stderr
    unfinished = re.search(r"(\d+) unfinished", out)
    untranslated = re.search(r"Ignored (\d+) untranslated", out)
    if run.returncode != 0 or (unfinished and int(unfinished.group(1))) or untranslated:
        problems.append(f"{name}: lrelease says: {out.strip()}")
    return problems


def main():
    root, lupdate, lrelease = sys.argv[1:4]
    files = sorted(glob.glob(os.path.join(root, "translations", "*_en.ts")))
    if not files:
        print("no translation files in", os.path.join(root, "translations"))
        return 1
    problems = []
    with tempfile.TemporaryDirectory() as work:
        for ts in files:
            problems += check(root, lupdate, lrelease, ts, work)
    for p in problems:
        print(p)
    print(f"{len(files)} translation files, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
