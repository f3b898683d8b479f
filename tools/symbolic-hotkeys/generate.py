#!/usr/bin/env python3
"""Writes the symbolic hot-key property lists of the repository.

  resources/bundle/com.apple.symbolichotkeys.plist   the default shortcut file (XML)
  resources/demo/home/Library/Preferences/com.apple.symbolichotkeys.plist
                                                     the demo user's preferences (binary)

The output is reproducible: same script, same bytes. Only the standard library is used.
"""

import argparse
import pathlib
import plistlib
import sys

# ID: (character code, virtual key code, modifier mask, enabled) of the system's defaults.
# 65535 means "none"; stored masks carry the function-key bit 0x800000 on F-keys and arrows.
DEFAULTS = {
    7: (65535, 120, 8650752, True),
    8: (65535, 99, 8650752, True),
    9: (65535, 118, 8650752, True),
    10: (65535, 96, 8650752, True),
    11: (65535, 97, 8650752, True),
    12: (65535, 122, 8650752, True),
    13: (65535, 98, 8650752, True),
    15: (56, 28, 1572864, False),
    17: (61, 24, 1572864, False),
    19: (45, 27, 1572864, False),
    21: (56, 28, 1835008, False),
    23: (92, 42, 1572864, False),
    25: (46, 47, 1835008, False),
    26: (44, 43, 1835008, False),
    27: (96, 50, 1048576, True),
    28: (51, 20, 1179648, True),
    29: (51, 20, 1441792, True),
    30: (52, 21, 1179648, True),
    31: (52, 21, 1441792, True),
    32: (65535, 126, 8650752, True),
    33: (65535, 125, 8650752, True),
    36: (65535, 103, 8388608, True),
    51: (39, 50, 1572864, True),
    52: (100, 2, 1572864, True),
    57: (65535, 100, 8650752, True),
    59: (65535, 96, 9437184, True),
    60: (32, 49, 262144, True),
    61: (32, 49, 786432, True),
    62: (65535, 111, 8388608, True),
    64: (32, 49, 1048576, True),
    65: (32, 49, 1572864, True),
    79: (65535, 123, 8650752, True),
    81: (65535, 124, 8650752, True),
    98: (47, 44, 1179648, True),
    118: (65535, 18, 262144, False),
    119: (65535, 19, 262144, False),
    120: (65535, 20, 262144, False),
    121: (65535, 21, 262144, False),
    156: (65535, 49, 393216, False),
    160: (65535, 65535, 0, False),
    162: (65535, 96, 9961472, True),
    163: (65535, 65535, 0, False),
    175: (65535, 65535, 0, True),
    179: (65535, 65535, 0, False),
}


def entry(parameters, enabled=True, kind="standard", **extra):
    value = {"parameters": list(parameters), "type": kind}
    value.update(extra)
    return {"enabled": enabled, "value": value}


def default_hot_keys():
    return {
        str(i): entry((c, k, m), enabled)
        for i, (c, k, m, enabled) in DEFAULTS.items()
    }


def demo_hot_keys():
    """A user's file in the shapes real files have, each shape chosen for what it shows."""
    keys = {}
    # Usable entries, some changed from the defaults.
    for i in (27, 28, 29, 30, 31, 32, 33, 36, 57, 60, 61, 62, 79, 98, 162):
        c, k, m, _ = DEFAULTS[i]
        keys[str(i)] = entry((c, k, m))
    keys["64"] = entry((32, 49, 1048576))  # both Spotlight rows read this one
    keys["12"] = entry((65535, 122, 8650752 | 0x20000))  # moved to fn-ctrl-shift-F1
    keys["81"] = entry((65535, 124, 8650752 | 0x200000))  # keypad bit: ignored
    # Switched off by the user: the default file's entry is listed instead.
    keys["52"] = entry((100, 2, 1572864), enabled=False)
    # Only "enabled", as the system stores switched-off entries: falls back (default off).
    keys["118"] = {"enabled": False}
    # Two-element parameters: listed with no modifiers.
    keys["119"] = {"enabled": True, "value": {"parameters": [65535, 19], "type": "standard"}}
    # A mask above 2^31 (the high bit is not a modifier; command is).
    keys["120"] = entry((65535, 20, 2148532224))
    # Keys without a name: 65535 ("none") and 10 (no key): dropped, no fallback.
    keys["163"] = entry((65535, 65535, 0))
    keys["15"] = entry((56, 10, 1572864))
    # "enabled" written as an integer by a script: not usable, falls back (default off).
    keys["17"] = {"enabled": 1, "value": {"parameters": [61, 24, 1572864], "type": "standard"}}
    # Usable without "parameters": dropped, no fallback.
    keys["21"] = {"enabled": True, "value": {"type": "standard"}}
    # IDs beyond the table, other types, extra keys.
    keys["73"] = entry((65535, 65535, 0), kind="modifier")
    keys["164"] = entry((65535, 65535, 0), enabled=False)
    keys["175"] = entry((65535, 65535, 0), enabled=False)
    keys["184"] = entry((53, 23, 1179648))
    keys["190"] = {"enabled": False, "value": {"parameters": [113, 12, 8388608],
                                               "type": "standard"}}
    keys["222"] = entry((65535, 65535, 0), enabled=False)
    keys["258"] = entry((0, 0, 0), kind="button", comment="added by a script")
    return keys


def main(argv):
    root = pathlib.Path(__file__).resolve().parents[2]
    parser = argparse.ArgumentParser(
        description="Write the default shortcut file (XML) and the demo user's symbolic "
        "hot-key preferences (binary).")
    parser.add_argument("--default-file", type=pathlib.Path,
                        default=root / "resources/bundle/com.apple.symbolichotkeys.plist",
                        help="where to write the default shortcut file")
    parser.add_argument("--demo-file", type=pathlib.Path,
                        default=root / "resources/demo/home/Library/Preferences/"
                        "com.apple.symbolichotkeys.plist",
                        help="where to write the demo preferences")
    args = parser.parse_args(argv)

    outputs = (
        (args.default_file, default_hot_keys(), plistlib.FMT_XML),
        (args.demo_file, demo_hot_keys(), plistlib.FMT_BINARY),
    )
    for path, hot_keys, fmt in outputs:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(plistlib.dumps({"AppleSymbolicHotKeys": hot_keys}, fmt=fmt,
                                        sort_keys=True))
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
