#!/usr/bin/python3
"""Waits until a running application shows one of the words of a dictionary export in a label
over AT-SPI (the question of a lesson), and prints it.

  lesson_word.py PID WORDS   WORDS: lines WORD1;WORD2;... as `wordpop-dict export --utf8` writes
                             exit 0 with the word printed; 1 when none showed within 90 s (the
                             labels seen are printed); 2 when the application never appeared.
"""
import sys
import time

import pyatspi


def label_texts(node, found, depth=0):
    if node is None or depth > 64:
        return
    try:
        if node.getRole() == pyatspi.ROLE_LABEL and node.getState().contains(pyatspi.STATE_SHOWING):
            found.add((node.name or "").strip())
            try:
                text = node.queryText()
                found.add(text.getText(0, text.characterCount).strip())
            except NotImplementedError:
                pass
        for i in range(node.childCount):
            label_texts(node.getChildAtIndex(i), found, depth + 1)
    except Exception:
        pass  # a widget leaving the tree while it is walked


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def main():
    pid = int(sys.argv[1])
    words = set()
    with open(sys.argv[2], encoding="utf-8") as f:
        for line in f:
            words.update(w.strip() for w in line.rstrip("\r\n").split(";")[:2] if w.strip())
    deadline = time.monotonic() + 90
    seen = set()
    appeared = False
    while time.monotonic() < deadline:
        app = application(pid)
        if app is not None:
            appeared = True
            seen = set()
            label_texts(app, seen)
            shown = sorted(seen & words)
            if shown:
                print(shown[0])
                return 0
        time.sleep(0.5)
    if not appeared:
        print(f"pid {pid} never appeared over AT-SPI")
        return 2
    print("no word of the dictionaries in the labels shown:", sorted(t for t in seen if t))
    return 1


if __name__ == "__main__":
    sys.exit(main())
