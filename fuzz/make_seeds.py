#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/<target>/.

The structured targets read their input front to back (fuzz/FuzzInput.h); the encoders here
mirror those readers, so a seed is a meaningful case rather than noise: a real menu bar, a real
click request, the shipped default shortcut file. Run it again after changing a reader.
"""

import json
import os
import plistlib
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


# --- FuzzInput primitives ---------------------------------------------------------------------


def text(s):
    b = s.encode() if isinstance(s, str) else s
    assert len(b) < 256
    return [len(b)] + list(b)


def word(s):
    # 224 and above: raw text rather than a word of the built-in list.
    return [0xE0] + text(s)


def u16(v):
    return list(struct.pack(">H", v))


def u64(v):
    return list(struct.pack(">Q", v & 0xFFFFFFFFFFFFFFFF))


# --- Menu trees (FuzzMenuTree.h) ----------------------------------------------------------------


class Tree:
    """Elements by index; element 0 is the menu bar."""

    def __init__(self):
        self.elements = []

    def add(self, title=None, char=None, mods=None, glyph=None, enabled=None, children=(),
            errors=(), invalid=False):
        self.elements.append(dict(title=title, char=char, mods=mods, glyph=glyph,
                                  enabled=enabled, children=list(children), errors=list(errors),
                                  invalid=invalid))
        return len(self.elements) - 1

    def encode(self, menubar_kind=4):
        out = [len(self.elements) - 1, menubar_kind]
        for e in self.elements:
            flags = 0
            body = []
            if e["title"] is not None:
                flags |= 0x01
                body += attribute(e["title"])
            if e["enabled"] is not None:
                flags |= 0x02
                body += [1, 1 if e["enabled"] else 0]
            if e["char"] is not None:
                flags |= 0x04
                body += attribute(e["char"])
            if e["mods"] is not None:
                flags |= 0x08
                body += attribute(e["mods"])
            if e["glyph"] is not None:
                flags |= 0x10
                body += attribute(e["glyph"])
            if e["errors"]:
                flags |= 0x20
                body += [len(e["errors"]) - 1]
                for name, code in e["errors"]:
                    body += [ATTRIBUTES.index(name), ERRORS.index(code)]
            if e["children"]:
                flags |= 0x40
                body += [len(e["children"])]
                for child in e["children"]:
                    if isinstance(child, tuple):  # (index, times): one element listed often
                        body += [232, child[0]] + u16(child[1] - 1)
                    else:
                        body += [0, child]
            if e["invalid"]:
                flags |= 0x80
                body += [0]
            out += [flags] + body
        return out


ATTRIBUTES = ["AXChildren", "AXTitle", "AXEnabled", "AXMenuItemCmdChar", "AXMenuItemCmdModifiers",
              "AXMenuItemCmdGlyph", "AXPress"]
ERRORS = [-25200, -25201, -25202, -25204, -25205, -25208, -25211, -25212, -1]


def attribute(v):
    if isinstance(v, bool):
        return [7, 1, 1 if v else 0]  # a plain boolean
    if isinstance(v, int):
        return [4, v & 0xFF]
    if isinstance(v, float):
        return [5, {0.5: 0, -1.5: 1, 7.9: 2}[v]]
    return [0] + word(v)


def editor_tree():
    t = Tree()
    bar = t.add(children=[1, 5, 9])
    # Apple menu, with Services that must be left out.
    t.add(title="Apple", children=[2])
    t.add(children=[3, 4])
    t.add(title="About", char="A", mods=0, enabled=True)
    t.add(title="Services", children=[13])
    # File menu: Save, Save As, Open Recent > Clear Menu.
    t.add(title="File", children=[6])
    t.add(children=[7, 8, 10])
    t.add(title="Save", char="S", mods=0, enabled=True)
    t.add(title="Save As…", char="S", mods=1, enabled=True)
    # Edit menu: an item with a glyph and one disabled.
    t.add(title="Edit", children=[11])
    t.add(title="Open Recent", children=[12])
    t.add(children=[14, 15])
    t.add(title="Clear Menu", char="K", mods=4)
    t.add(title="Mail Text", char="M", mods=0)
    t.add(title="Caf\u00e9", char="\u21a9", mods=12, enabled=False)
    t.add(title="Zoom: 100%", char="0", mods=0)
    assert bar == 0
    return t


def cyclic_tree():
    t = Tree()
    t.add(children=[1, 2])
    t.add(title="Loop", children=[1, 3, 0])  # lists itself and the menu bar
    t.add(title="Shared", children=[(4, 1050), 2])  # one item listed 1,050 times
    t.add(title="Item", char="I", mods=0)
    t.add(title="Again", char="A", mods=1)
    return t


def faulty_tree():
    t = Tree()
    t.add(children=[1, 2, 5])
    t.add(title="File", children=[3], errors=[("AXChildren", -25200)])
    t.add(title=7.9, children=[6])  # a title that is not text
    t.add(title="Open", char="O", mods=0)
    t.add(title="Dead", char="D", mods=0, invalid=True)
    t.add(title="Hung", children=[3], errors=[("AXTitle", -25204)])  # ends the walk
    t.add(children=[3, 4, 7])
    t.add(title="Half", char="H", mods=0.5, errors=[("AXMenuItemCmdGlyph", -25212)])
    return t


# --- Targets --------------------------------------------------------------------------------


def menu_walker():
    for name, tree in [("editor", editor_tree()), ("cycles", cyclic_tree()),
                       ("faults", faulty_tree())]:
        write("fuzz_menu_walker", name, [1, 1] + tree.encode())
    write("fuzz_menu_walker", "menubar-not-an-element", [1, 1] + [0, 0, 5, 0x0F])
    write("fuzz_menu_walker", "untrusted", [0, 1] + editor_tree().encode())


CURRENT_PREFIX = "tellHelperToCurrentClickted:"


def menu_click():
    tree = editor_tree().encode()
    clicks = []
    for i in range(6):
        clicks += [3, 0, i]  # the i-th harvested title
    clicks += [3, 1] + word("Cafe\u0301")  # canonically equal to a stored title
    clicks += [3, 1] + word("Zoom: 100%")
    clicks += [3, 3] + text("GetCurrentShortcut")  # not a click at all
    write("fuzz_menu_click", "editor-clicks", tree + clicks)
    write("fuzz_menu_click", "dead-element",
          tree + [1, 7, 3, 0, 0, 0, 2, 3, 0, 1, 2, 3, 0, 1])
    write("fuzz_menu_click", "cycles-reharvest", cyclic_tree().encode() + [3, 0, 0, 0, 3, 0, 0])


TABLE_IDS = ["52", "160", "32", "163", "175", "33", "36", "62", "79", "81", "118", "119", "120",
             "121", "13", "12", "7", "8", "9", "10", "11", "27", "51"]
MASKS = [0, 131072, 262144, 524288, 1048576, 1179648, 1572864, 8388608, 8650752, -1,
         2**63 - 1, -2**63, 65536, 0x100]


def hot_keys_with_params(entries):
    """entries: (row of the built-in table, key code, mask); the first parameter is -1."""
    out = [len(entries)]
    for row, key_code, mask in entries:
        out += [row, 1, 1, 1, 1, 3, 0, 0xFF, 1, key_code, 3, MASKS.index(mask)]
    return out


SYSTEM_PREFIX = "tellHelperToSystemClickted:"


def system_click():
    keys = hot_keys_with_params([(16, 100, 1048576), (17, 96, 8650752), (5, 101, 0),
                                 (20, 97, 131072)])
    clicks = []
    for i in range(4):
        clicks += [2, 1, 1, i, 0, 0, 0, 1]  # the i-th offered pair, as the main app writes it
    clicks += [2, 1, 1, 0, 1, 0, 1, 1]  # a bare number
    clicks += [2, 1, 1, 0, 0, 1] + [0xE0] + text("x") + [0, 1]  # an extra element
    clicks += [2, 1, 0, 0x35, 4, 0, 0, 0, 1]  # a pair never offered
    clicks += [2, 0, 1] + text('["1",')  # not JSON
    clicks += [1, 2, 1, 1, 0, 0, 0, 1]  # events cannot be created
    write("fuzz_system_click", "offered-pairs", keys + clicks)
    write("fuzz_system_click", "nothing-offered", [0] + [2, 0, 1] + text('["0","0"]'))


def catalogue():
    here = os.path.join(ROOT, "resources")
    with open(os.path.join(here, "demo", "home", "Library", "Preferences",
                           "com.apple.symbolichotkeys.plist"), "rb") as f:
        demo = f.read()
    with open(os.path.join(here, "bundle", "com.apple.symbolichotkeys.plist"), "rb") as f:
        default = f.read()
    raw = lambda b: [1] + u16(len(b)) + list(b)
    write("fuzz_system_catalogue", "demo-and-default", raw(demo) + raw(default))
    write("fuzz_system_catalogue", "no-preferences", [0] + raw(default))
    keys = hot_keys_with_params([(16, 100, 1048576), (17, 96, 8650752), (5, 101, 0)])
    disabled = [1, 0, 1, 0, 1, 0, 1, 0]  # row 0 present but disabled
    write("fuzz_system_catalogue", "generated-xml", [2, 1] + keys + [0, 0] + [2, 1] + disabled +
          [0, 0])
    write("fuzz_system_catalogue", "generated-binary", [3, 1] + keys + [1, 0] + [0])


def property_list():
    samples = {
        "hot-keys": {"AppleSymbolicHotKeys": {"64": {"enabled": True, "value": {
            "parameters": [32, 49, 1048576], "type": "standard"}}}},
        "every-type": {"s": "Gr\u00f6\u00dfe \u2318", "i": -7, "big": 2**63 - 1, "r": 0.25,
                       "b": False, "d": b"\x00\x01\xff", "a": [1, [2, [3]], {"k": "v"}],
                       "empty": {}},
        "array-top": [1, "two", 3.5],
    }
    for name, value in samples.items():
        write("fuzz_property_list", name + ".xml", plistlib.dumps(value, fmt=plistlib.FMT_XML))
        write("fuzz_property_list", name + ".bin",
              plistlib.dumps(value, fmt=plistlib.FMT_BINARY))
    nested = "<plist><array>" * 1 + "<array>" * 60 + "</array>" * 61 + "</plist>"
    write("fuzz_property_list", "nested.xml", nested)
    write("fuzz_property_list", "comment.xml",
          "<?xml version=\"1.0\"?><!-- <array> --><plist><dict><key>a</key><![CDATA[x]]>"
          "<string>&lt;&#x41;</string></dict></plist>")
    write("fuzz_property_list", "old-style.txt", "{ a = 1; }")


def desktop():
    item = lambda title, char, mods=0, **extra: dict(AXTitle=title, AXEnabled=True,
                                                     AXMenuItemCmdChar=char,
                                                     AXMenuItemCmdModifiers=mods, **extra)
    menu = lambda title, items: {"AXTitle": title, "AXChildren": [{"AXChildren": items}]}
    editor = {
        "trusted": True,
        "frontmost": "com.example.Editor",
        "applications": [
            {"bundleIdentifier": "com.example.Editor", "processIdentifier": 4242,
             "menuBar": {"AXChildren": [
                 menu("Apple", [item("About", "A"), menu("Services", [item("Mail", "M")])]),
                 menu("Editor", [item("Quit", "Q")]),
                 menu("File", [item("Save", "S"), item("Save As\u2026", "S", 1),
                               menu("Open Recent", [item("Clear Menu", "K", 4)])]),
             ]}},
            {"bundleIdentifier": None, "processIdentifier": 77},
        ],
    }
    write("fuzz_desktop_file", "editor.json", json.dumps(editor, ensure_ascii=False))
    odd = {
        "frontmost": 4242,
        "applications": [
            {"bundleIdentifier": "com.example.Odd", "processIdentifier": 4242,
             "AXErrors": {"AXMenuBar": -25200},
             "menuBar": {"AXChildren": [
                 {"AXTitle": 7, "AXChildren": "nope"},
                 {"AXTitle": "File", "AXErrors": {"AXChildren": -25204},
                  "AXChildren": [1, None, {"AXTitle": "x"}]},
                 {"AXTitle": "Edit", "AXChildren": [{"AXChildren": [
                     item("Copy", "C", 2.5), item("Paste", 86, True),
                     {"AXTitle": "Press fails", "AXMenuItemCmdChar": "P",
                      "AXErrors": {"AXPress": -25202}}]}]},
             ]}},
            {"processIdentifier": 2147483647, "menuBar": [1, 2]},
        ],
    }
    write("fuzz_desktop_file", "odd-types.json", json.dumps(odd))
    delayed = {"applications": [{"bundleIdentifier": "com.example.Slow",
                                 "processIdentifier": 9, "AXDelayMs": {"AXMenuBar": 1},
                                 "menuBar": {"AXDelayMs": 0, "AXChildren": []}}]}
    write("fuzz_desktop_file", "delays.json", json.dumps(delayed))
    write("fuzz_desktop_file", "bad-shape.json",
          '{"applications": [{"processIdentifier": 1}, {"processIdentifier": 1}]}')
    write("fuzz_desktop_file", "not-json.json", '{"applications": [')


# --- Notifications on the bus (fuzz_notification_decoder.cpp) ---------------------------------

BASIC = "ybnqiuxtdsog"


def v_string(s):
    return [1, 0, BASIC.index("s")] + word(s)


def v_int(n):
    return [1, 0, BASIC.index("x")] + u64(n)


def v_bool(b):
    return [1, 0, BASIC.index("b"), 1 if b else 0]


def v_array_of_variants(items):
    # choice 150: an array; its element type: choice 120, a variant.
    out = [1, 150, 120, len(items)]
    for item in items:
        out += item
    return out


def v_dict(entries):
    # choice 200: a dictionary; key type kKeys[0] = s; value type: choice 120, a variant.
    out = [1, 200, 0, 120, len(entries)]
    for key, value in entries:
        out += word(key) + value
    return out


def notification(mode, name, obj=None, user_info=()):
    out = [mode, 0] + word(name)
    if obj is not None:
        out += [0] + word(obj)
    if mode >= 4:
        out += [len(user_info)]
        for key, value in user_info:
            out += word(key) + value
    return out


def decoder():
    helper = "org.morvane.Kivora.KivoraData"
    write("fuzz_notification_decoder", "request", notification(5, "GetCurrentShortcut", helper))
    write("fuzz_notification_decoder", "click",
          notification(5, CURRENT_PREFIX + "Save", helper))
    write("fuzz_notification_decoder", "name-only", notification(2, "AccessibilityStatus"))
    record = v_dict([("Title", v_string("Save")), ("Modifier", v_string("\u2318"))])
    write("fuzz_notification_decoder", "reply",
          notification(5, "GetCurrentShortcutResponse", "org.morvane.Kivora",
                       [("currentShortcut", v_array_of_variants([v_string("File"), record])),
                        ("isEnabled", v_bool(True)), ("count", v_int(-3))]))
    # Variants in variants, deeper than the decoder follows.
    deep = [0] * 90 + [0, BASIC.index("s")] + word("bottom")
    write("fuzz_notification_decoder", "deep-variants",
          notification(4, "Deep", None, [("v", deep)]))
    # Not a notification: an integer and a struct.
    write("fuzz_notification_decoder", "other-body",
          [0, 2, 0, BASIC.index("i")] + u64(7) + [240, 0, 0, BASIC.index("s")] + word("x"))


def main():
    menu_walker()
    menu_click()
    system_click()
    catalogue()
    property_list()
    desktop()
    decoder()
    return 0


if __name__ == "__main__":
    sys.exit(main())
