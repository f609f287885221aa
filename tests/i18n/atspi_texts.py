#!/usr/bin/python3
"""What a screen reader reads of the running trainer, in the language the program chose itself.

  atspi_texts.py APPNAME PID   (run by tests/desktop/atspi_check.sh in place of its walker)

I18N_EXPECT: names, "|"-separated, that buttons and tabs must carry; I18N_REFUSE: names that
must not appear (the other language's); I18N_NO_CYRILLIC=1: no name may hold a Cyrillic letter.
Exit 0 when all hold, 1 when not, 2 when the application never shows its controls.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import atspi_walk  # noqa: E402
import pyatspi  # noqa: E402

# The tabs of the answer pages too, besides buttons, boxes and edits.
atspi_walk.CONTROLS.add(pyatspi.ROLE_PAGE_TAB)


def wanted(var):
    return [n for n in os.environ.get(var, "").split("|") if n]


def main():
    name, pid = sys.argv[1], int(sys.argv[2])
    expect, refuse = wanted("I18N_EXPECT"), wanted("I18N_REFUSE")
    if not expect:
        print("I18N_EXPECT is empty")
        return 1
    deadline = time.monotonic() + 90
    names = set()
    missing = expect
    # Controls come with the window, which may take a while on a loaded machine; read again
    # until everything expected is there or time runs out.
    while time.monotonic() < deadline:
        app = atspi_walk.application(name, pid)
        if app is not None:
            found = []
            atspi_walk.walk(app, "", found)
            names = {label for _, label in found}
            missing = [n for n in expect if n not in names]
            if not missing:
                break
        time.sleep(0.5)
    if not names:
        print(f"{name} (pid {pid}) showed no controls over AT-SPI")
        return 2
    present = sorted(n for n in refuse if n in names)
    if os.environ.get("I18N_NO_CYRILLIC") == "1":
        present += sorted(n for n in names if re.search("[\u0400-\u04FF]", n))
    print("names read:", sorted(names))
    if missing:
        print("missing:", missing)
    if present:
        print("in the wrong language:", present)
    return 1 if missing or present else 0


if __name__ == "__main__":
    sys.exit(main())
