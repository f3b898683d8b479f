#!/usr/bin/python3
"""A small GTK 3 application for the desktop tests.

It prints one line per menu activation ("activated File/Save") and one line per key press
("key name=s keyval=115 mods=ctrl+shift"), flushed at once, so a test can read what reached it.
Its menu bar holds nested submenus, a disabled item, F-keys, shifted and unshifted accelerators.
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def option(name, default):
    """The value after `name` on the command line, or `default`."""
    args = sys.argv[1:]
    return args[args.index(name) + 1] if name in args[:-1] else default


# --name sets the program name, which is the accessible application name.
NAME = option("--name", None)
TITLE = option("--title", "Kivora GTK Test")
# --tag adds a last menu of that title, so that a harvest tells the applications apart.
TAG = option("--tag", None)
# --items N adds a menu of N more items with shortcuts, for measurements on a large menu bar.
ITEMS = int(option("--items", "0"))

# (label, accelerator or None, sensitive, children)
MENUS = [
    ("File", [
        ("New", "<Primary>n", True, None),
        ("Open", "<Primary>o", True, None),
        ("Open Recent", None, True, [
            ("Reopen Last", "<Primary><Shift>t", True, None),
            ("More", None, True, [
                ("Oldest", "<Primary><Alt>o", True, None),
            ]),
        ]),
        ("Save", "<Primary>s", True, None),
        ("Save As", "<Primary><Shift>s", True, None),
        ("Close", None, True, None),
    ]),
    ("Edit", [
        ("Undo", "<Primary>z", True, None),
        ("Redo", "<Primary><Shift>z", True, None),
        ("Paste Special", "<Primary><Shift>v", False, None),
        ("Zoom In", "<Primary>plus", True, None),
        ("Zoom Out", "<Primary>minus", True, None),
        ("Preferences", None, True, None),
    ]),
    ("View", [
        ("Reload", "F5", True, None),
        ("Full Screen", "F11", True, None),
        ("Next Tab", "<Primary>Page_Down", True, None),
        ("Back", "<Alt>Left", True, None),
    ]),
]


def out(line):
    print(line, flush=True)


def build_menu(items, accel_group, path):
    menu = Gtk.Menu()
    menu.set_accel_group(accel_group)
    for label, accel, sensitive, children in items:
        item = Gtk.MenuItem.new_with_label(label)
        item_path = path + "/" + label
        if children is not None:
            item.set_submenu(build_menu(children, accel_group, item_path))
        else:
            item.connect("activate", lambda _w, p=item_path: out("activated " + p))
            if accel:
                key, mods = Gtk.accelerator_parse(accel)
                item.add_accelerator("activate", accel_group, key, mods, Gtk.AccelFlags.VISIBLE)
        item.set_sensitive(sensitive)
        menu.append(item)
    return menu


def modifier_names(state):
    names = []
    for mask, name in ((Gdk.ModifierType.CONTROL_MASK, "ctrl"), (Gdk.ModifierType.SHIFT_MASK, "shift"),
                       (Gdk.ModifierType.MOD1_MASK, "alt"), (Gdk.ModifierType.SUPER_MASK, "super"),
                       (Gdk.ModifierType.MOD4_MASK, "super")):
        if state & mask and name not in names:
            names.append(name)
    return "+".join(names) or "none"


def on_key(_widget, event):
    name = Gdk.keyval_name(event.keyval) or "?"
    if name in ("Control_L", "Control_R", "Shift_L", "Shift_R", "Alt_L", "Alt_R", "Super_L",
                "Super_R", "Meta_L", "Meta_R"):
        return False
    out("key name=%s keyval=%d mods=%s" % (name, event.keyval, modifier_names(event.state)))
    return False


def main():
    if NAME:
        GLib.set_prgname(NAME)
    window = Gtk.Window(title=TITLE)
    window.set_default_size(400, 300)
    window.connect("destroy", Gtk.main_quit)
    accel_group = Gtk.AccelGroup()
    window.add_accel_group(accel_group)
    box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
    bar = Gtk.MenuBar()
    menus = MENUS + ([(TAG, [("Identify", "<Primary>i", True, None)])] if TAG else [])
    if ITEMS:
        letters = "abcdefghijklmnopqrstuvwxyz"
        mods = ["<Primary>", "<Primary><Shift>", "<Primary><Alt>", "<Primary><Alt><Shift>"]
        menus.append(("Many", [("Item %d" % i, mods[i // 26 % 4] + letters[i % 26], True, None)
                               for i in range(ITEMS)]))
    for title, items in menus:
        top = Gtk.MenuItem.new_with_label(title)
        top.set_submenu(build_menu(items, accel_group, title))
        bar.append(top)
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


if __name__ == "__main__":
    main()
