#!/usr/bin/python3
"""Walks what AT-SPI (the screen readers' bus) shows of one running application and prints every
button, check box and edit without a name.

  atspi_walk.py APPNAME PID   exit 0 when the application shows named controls only,
                              1 when one is unnamed or it has none, 2 when it never appears.
"""
import sys
import time

import pyatspi

CONTROLS = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_COMBO_BOX,
}


def walk(node, path, found, depth=0):
    if node is None or depth > 64:
        return
    role = node.getRole()
    here = f"{path}/{node.getRoleName()}"
    if role in CONTROLS:
        found.append((here, (node.name or "").strip()))
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), here, found, depth + 1)


def application(name, pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and (app.name or "").lower() == name.lower() and app.get_process_id() == pid:
                return app
        except Exception:
            pass  # an application leaving the bus while it is asked
    return None


def main():
    name, pid = sys.argv[1], int(sys.argv[2])
    # Under a loaded machine the window may take a while to show; its controls come with it.
    deadline = time.monotonic() + 90
    found = []
    while time.monotonic() < deadline:
        app = application(name, pid)
        if app is not None:
            found = []
            walk(app, "", found)
            if found:
                break
        time.sleep(0.5)
    if not found:
        print(f"{name} (pid {pid}) showed no controls over AT-SPI")
        return 2
    unnamed = [path for path, label in found if not label]
    for path, label in found:
        print(f"{path}: {label!r}")
    if unnamed:
        print("unnamed:\n  " + "\n  ".join(unnamed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
