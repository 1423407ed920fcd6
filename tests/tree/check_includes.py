#!/usr/bin/env python3
"""Checks the direction of the dependencies between the product folders.

The folders are layered, top to bottom:

    app -> help -> drop -> board -> {platform, store}
    app -> dock -> platform

A folder includes its own headers and those of folders below it, never one above
it; platform/ and store/ are both at the bottom and include neither each other,
and dock/ and board/ stand side by side.
store/ is the settings files only: besides the standard library it includes Qt
Core headers and nothing of the widgets. No product folder includes tests/ or bench/.

Usage: check_includes.py ROOT [QTCORE_INCLUDE_DIR]
       check_includes.py --self-test
Prints every offending line as file:line: text and exits 1 when there is one.
"""
import os
import re
import sys
import tempfile

RANK = {"app": 4, "help": 3, "drop": 2, "board": 1, "dock": 1, "platform": 0, "store": 0}
SOURCE_SUFFIXES = (".cpp", ".h")
OURS = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')
ANGLE = re.compile(r"^\s*#\s*include\s*<([^>]+)>")
DEFAULT_QTCORE = "/usr/include/x86_64-linux-gnu/qt6/QtCore"


def is_qt_header(name):
    return name.startswith("Qt") or re.match(r"^Q[A-Z]", name) is not None


def is_qt_core(name, qtcore):
    if name.startswith("QtCore/"):
        return True
    if name.startswith("Qt"):
        return False  # QtGui/..., QtWidgets/...
    return os.path.exists(os.path.join(qtcore, name))


def check_line(folder, text, qtcore):
    """Why `text`, an include line of a file in `folder`, breaks the layering, or None."""
    m = OURS.match(text)
    if m:
        target = m.group(1)
        if target in ("tests", "bench"):
            return "product code includes " + target + "/"
        if target == "harness":  # the desktop of the tests and benchmarks only
            return "product code includes harness/"
        if target in RANK and target != folder and RANK[target] >= RANK[folder]:
            return folder + "/ includes " + target + "/, which is not below it"
        return None
    m = ANGLE.match(text)
    if m and folder == "store" and is_qt_header(m.group(1)) and not is_qt_core(m.group(1), qtcore):
        return "store/ includes a header outside Qt Core"
    return None


def check_tree(root, qtcore):
    problems = []
    for folder in sorted(RANK):
        base = os.path.join(root, folder)
        for dirpath, _, files in os.walk(base):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, text in enumerate(f, 1):
                        why = check_line(folder, text, qtcore)
                        if why:
                            rel = os.path.relpath(path, root)
                            problems.append(f"{rel}:{number}: {text.strip()}    ({why})")
    return problems


def self_test(qtcore):
    """The checker must find each kind of fault, and accept a clean tree."""
    cases = [
        ("store/a.cpp", '#include "app/Unit1.h"', True),
        ("store/a.cpp", '#include "platform/Opener.h"', True),
        ("platform/a.cpp", '#include "store/Settings.h"', True),
        ("board/a.cpp", '#include "drop/DropHandler.h"', True),
        ("drop/a.h", '#include "tests/support/FakeOpener.h"', True),
        ("app/a.cpp", '#include "harness/Display.h"', True),
        ("store/a.cpp", "#include <QWidget>", True),
        ("store/a.cpp", "#include <QtGui/QFont>", True),
        ("store/a.cpp", "#include <QString>", False),
        ("store/a.cpp", "#include <vector>", False),
        ("board/a.cpp", "#include <QWidget>", False),
        ("app/a.cpp", '#include "store/Settings.h"', False),
        ("drop/a.cpp", '#include "board/Board.h"', False),
        ("board/a.cpp", '#include "board/Board.h"', False),
    ]
    failures = 0
    for path, line, bad in cases:
        with tempfile.TemporaryDirectory() as root:
            os.makedirs(os.path.join(root, os.path.dirname(path)))
            with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                f.write("// x\n" + line + "\n")
            found = check_tree(root, qtcore)
            if bool(found) != bad:
                failures += 1
                print(f"self-test: {path}: {line!r} should {'fail' if bad else 'pass'}: {found}")
            elif bad and not found[0].startswith(path + ":2: "):
                failures += 1
                print(f"self-test: wrong place reported: {found[0]}")
    return failures


def main(argv):
    if len(argv) >= 2 and argv[1] == "--self-test":
        qtcore = argv[2] if len(argv) > 2 else DEFAULT_QTCORE
        return 1 if self_test(qtcore) else 0
    if len(argv) < 2:
        print(__doc__)
        return 2
    qtcore = argv[2] if len(argv) > 2 else DEFAULT_QTCORE
    if not os.path.isdir(qtcore):
        print("Qt Core headers not found at " + qtcore)
        return 2
    problems = check_tree(argv[1], qtcore)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
