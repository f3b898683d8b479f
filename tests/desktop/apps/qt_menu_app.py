#!/usr/bin/python3
"""A small Qt 5 application for the desktop tests.

It prints one line per menu activation ("activated File/Save") and one line per key press
("key name=S key=83 mods=ctrl+shift"), flushed at once, so a test can read what reached it.
Its menu bar holds nested submenus, a disabled item, F-keys, shifted and unshifted shortcuts.
"""
import os
import sys

os.environ.setdefault("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1")

from PyQt5.QtCore import QTimer, Qt  # noqa: E402
from PyQt5.QtGui import QKeySequence  # noqa: E402
from PyQt5.QtWidgets import QApplication, QMainWindow, QWidget  # noqa: E402


def option(name, default):
    """The value after `name` on the command line, or `default`."""
    args = sys.argv[1:]
    return args[args.index(name) + 1] if name in args[:-1] else default


# --name sets the application name, which is the accessible application name.
NAME = option("--name", None)
TITLE = option("--title", "Kivora Qt Test")
# --tag adds a last menu of that title, so that a harvest tells the applications apart.
TAG = option("--tag", None)

# (label, shortcut or None, enabled, children)
MENUS = [
    ("File", [
        ("New", "Ctrl+N", True, None),
        ("Open", "Ctrl+O", True, None),
        ("Open Recent", None, True, [
            ("Reopen Last", "Ctrl+Shift+T", True, None),
            ("More", None, True, [
                ("Oldest", "Ctrl+Alt+O", True, None),
            ]),
        ]),
        ("Save", "Ctrl+S", True, None),
        ("Save As", "Ctrl+Shift+S", True, None),
        ("Close", None, True, None),
    ]),
    ("Edit", [
        ("Undo", "Ctrl+Z", True, None),
        ("Redo", "Ctrl+Shift+Z", True, None),
        ("Paste Special", "Ctrl+Shift+V", False, None),
        ("Zoom In", "Ctrl++", True, None),
        ("Zoom Out", "Ctrl+-", True, None),
        ("Preferences", None, True, None),
    ]),
    ("View", [
        ("Reload", "F5", True, None),
        ("Full Screen", "F11", True, None),
        ("Next Tab", "Ctrl+PgDown", True, None),
        ("Back", "Alt+Left", True, None),
    ]),
]

MODIFIERS = ((Qt.ControlModifier, "ctrl"), (Qt.ShiftModifier, "shift"), (Qt.AltModifier, "alt"),
             (Qt.MetaModifier, "super"))
MODIFIER_KEYS = (Qt.Key_Control, Qt.Key_Shift, Qt.Key_Alt, Qt.Key_Meta, Qt.Key_Super_L,
                 Qt.Key_Super_R, Qt.Key_AltGr)


def out(line):
    print(line, flush=True)


class KeyView(QWidget):
    def __init__(self):
        super().__init__()
        self.setFocusPolicy(Qt.StrongFocus)

    def keyPressEvent(self, event):
        if event.key() in MODIFIER_KEYS:
            return
        mods = [name for flag, name in MODIFIERS if event.modifiers() & flag]
        name = QKeySequence(event.key()).toString() or "?"
        out("key name=%s key=%d mods=%s" % (name, event.key(), "+".join(mods) or "none"))


def fill(menu, items, path):
    for label, shortcut, enabled, children in items:
        item_path = path + "/" + label
        if children is not None:
            fill(menu.addMenu(label), children, item_path)
            continue
        action = menu.addAction(label)
        if shortcut:
            action.setShortcut(QKeySequence(shortcut))
        action.setEnabled(enabled)
        action.triggered.connect(lambda _checked=False, p=item_path: out("activated " + p))


def main():
    app = QApplication(sys.argv[:1])
    if NAME:
        app.setApplicationName(NAME)
    window = QMainWindow()
    window.setWindowTitle(TITLE)
    window.resize(400, 300)
    menus = MENUS + ([(TAG, [("Identify", "Ctrl+I", True, None)])] if TAG else [])
    for title, items in menus:
        fill(window.menuBar().addMenu(title), items, title)
    view = KeyView()
    window.setCentralWidget(view)
    window.show()
    view.setFocus()
    QTimer.singleShot(0, lambda: out("ready"))
    sys.exit(app.exec_())


if __name__ == "__main__":
    main()
