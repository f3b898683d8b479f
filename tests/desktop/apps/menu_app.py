#!/usr/bin/python3
# A small application for the desktop tests, in GTK 3 or Qt 5 (the first argument).
#
# It prints "ready", one line per menu activation ("activated File/Save") and one per key press
# ("key name=s keyval=115 mods=ctrl+shift" in GTK, "key name=S key=83 mods=ctrl" in Qt), flushed
# at once, so a test can read what reached it. Its menu bar holds nested submenus, a disabled
# item, F-keys, shifted and unshifted shortcuts. Options: --name NAME (the accessible application
# name), --tag TAG (a last menu of that title, to tell applications apart), --items N (GTK: a menu
# of N more items, for measurements).
import os
import sys

TOOLKIT = sys.argv[1] if len(sys.argv) > 1 else "gtk"


def option(name, default):
    args = sys.argv[2:]
    return args[args.index(name) + 1] if name in args[:-1] else default


NAME, TAG, ITEMS = option("--name", None), option("--tag", None), int(option("--items", "0"))

# (label, GTK accelerator, Qt shortcut, enabled, children)
MENUS = [
    ("File", [
        ("New", "<Primary>n", "Ctrl+N", True, None),
        ("Open", "<Primary>o", "Ctrl+O", True, None),
        ("Open Recent", None, None, True, [
            ("Reopen Last", "<Primary><Shift>t", "Ctrl+Shift+T", True, None),
            ("More", None, None, True, [("Oldest", "<Primary><Alt>o", "Ctrl+Alt+O", True, None)]),
        ]),
        ("Save", "<Primary>s", "Ctrl+S", True, None),
        ("Save As", "<Primary><Shift>s", "Ctrl+Shift+S", True, None),
        ("Close", None, None, True, None),
    ]),
    ("Edit", [
        ("Undo", "<Primary>z", "Ctrl+Z", True, None),
        ("Redo", "<Primary><Shift>z", "Ctrl+Shift+Z", True, None),
        ("Paste Special", "<Primary><Shift>v", "Ctrl+Shift+V", False, None),
        ("Zoom In", "<Primary>plus", "Ctrl++", True, None),
        ("Zoom Out", "<Primary>minus", "Ctrl+-", True, None),
        ("Preferences", None, None, True, None),
    ]),
    ("View", [
        ("Reload", "F5", "F5", True, None),
        ("Full Screen", "F11", "F11", True, None),
        ("Next Tab", "<Primary>Page_Down", "Ctrl+PgDown", True, None),
        ("Back", "<Alt>Left", "Alt+Left", True, None),
    ]),
]
if TAG:
    MENUS.append((TAG, [("Identify", "<Primary>i", "Ctrl+I", True, None)]))
if ITEMS:
    MODS = ["<Primary>", "<Primary><Shift>", "<Primary><Alt>", "<Primary><Alt><Shift>"]
    MENUS.append(("Many", [("Item %d" % i, MODS[i // 26 % 4] + chr(97 + i % 26), None, True, None)
                           for i in range(ITEMS)]))


def out(line):
    print(line, flush=True)


def build(parent, items, path, submenu, leaf):
    for label, gtk_accel, qt_shortcut, enabled, children in items:
        if children is not None:
            build(submenu(parent, label), children, path + "/" + label, submenu, leaf)
        else:
            leaf(parent, label, gtk_accel, qt_shortcut, enabled, path + "/" + label)


def gtk_main():
    import gi
    gi.require_version("Gtk", "3.0")
    gi.require_version("Gdk", "3.0")
    from gi.repository import Gdk, GLib, Gtk

    if NAME:
        GLib.set_prgname(NAME)
    window = Gtk.Window(title="Kivora GTK Test")
    window.set_default_size(400, 300)
    window.connect("destroy", Gtk.main_quit)
    accels = Gtk.AccelGroup()
    window.add_accel_group(accels)

    def submenu(parent, label):
        item, menu = Gtk.MenuItem.new_with_label(label), Gtk.Menu()
        menu.set_accel_group(accels)
        item.set_submenu(menu)
        parent.append(item)
        return menu

    def leaf(menu, label, accel, _qt, enabled, path):
        item = Gtk.MenuItem.new_with_label(label)
        item.connect("activate", lambda _w: out("activated " + path))
        if accel:
            key, mods = Gtk.accelerator_parse(accel)
            item.add_accelerator("activate", accels, key, mods, Gtk.AccelFlags.VISIBLE)
        item.set_sensitive(enabled)
        menu.append(item)

    masks = ((Gdk.ModifierType.CONTROL_MASK, "ctrl"), (Gdk.ModifierType.SHIFT_MASK, "shift"),
             (Gdk.ModifierType.MOD1_MASK, "alt"), (Gdk.ModifierType.SUPER_MASK, "super"),
             (Gdk.ModifierType.MOD4_MASK, "super"))

    def on_key(_widget, event):
        name = Gdk.keyval_name(event.keyval) or "?"
        if name.split("_")[0] not in ("Control", "Shift", "Alt", "Super", "Meta"):
            mods = list(dict.fromkeys(n for mask, n in masks if event.state & mask))
            out("key name=%s keyval=%d mods=%s" % (name, event.keyval, "+".join(mods) or "none"))
        return False

    bar = Gtk.MenuBar()
    for title, items in MENUS:
        build(submenu(bar, title), items, title, submenu, leaf)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    box.pack_start(bar, False, False, 0)
    area = Gtk.DrawingArea()
    area.set_can_focus(True)
    box.pack_start(area, True, True, 0)
    window.add(box)
    window.connect("key-press-event", on_key)
    window.show_all()
    area.grab_focus()
    GLib.idle_add(lambda: out("ready") and False)
    Gtk.main()


def qt_main():
    os.environ.setdefault("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1")
    from PyQt5.QtCore import QTimer, Qt
    from PyQt5.QtGui import QKeySequence
    from PyQt5.QtWidgets import QApplication, QMainWindow, QWidget

    modifiers = ((Qt.ControlModifier, "ctrl"), (Qt.ShiftModifier, "shift"),
                 (Qt.AltModifier, "alt"), (Qt.MetaModifier, "super"))
    modifier_keys = (Qt.Key_Control, Qt.Key_Shift, Qt.Key_Alt, Qt.Key_Meta, Qt.Key_Super_L,
                     Qt.Key_Super_R, Qt.Key_AltGr)

    class KeyView(QWidget):
        def keyPressEvent(self, event):
            if event.key() not in modifier_keys:
                mods = "+".join(n for flag, n in modifiers if event.modifiers() & flag)
                name = QKeySequence(event.key()).toString() or "?"
                out("key name=%s key=%d mods=%s" % (name, event.key(), mods or "none"))

    def leaf(menu, label, _gtk, shortcut, enabled, path):
        action = menu.addAction(label)
        if shortcut:
            action.setShortcut(QKeySequence(shortcut))
        action.setEnabled(enabled)
        action.triggered.connect(lambda _checked=False: out("activated " + path))

    app = QApplication(sys.argv[:1])
    if NAME:
        app.setApplicationName(NAME)
    window = QMainWindow()
    window.setWindowTitle("Kivora Qt Test")
    window.resize(400, 300)
    for title, items in MENUS:
        build(window.menuBar().addMenu(title), items, title, lambda m, t: m.addMenu(t), leaf)
    view = KeyView()
    view.setFocusPolicy(Qt.StrongFocus)
    window.setCentralWidget(view)
    window.show()
    view.setFocus()
    QTimer.singleShot(0, lambda: out("ready"))
    sys.exit(app.exec_())


if __name__ == "__main__":
    qt_main() if TOOLKIT == "qt" else gtk_main()
