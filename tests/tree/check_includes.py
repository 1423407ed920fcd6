#!/usr/bin/env python3
"""Checks the direction of the dependencies between the product folders, and
that each type has one name.

The folders are layered, top to bottom:

    app -> help -> drop -> board -> {platform, store}
    app -> find -> drop
    app -> dock -> platform
                   drop -> operation -> history -> engine
                   drop -> verdict

drop/ is the drops and sends (where they go, the queue, the verdict's glue);
operation/ the copy or move itself, with its questions and progress, and never
includes drop/.
    app -> send

A folder includes its own headers and those of folders below it, never one above
it; platform/, store/, engine/ and verdict/ are at the bottom and include none of each other,
and dock/ and board/ stand side by side.
store/ is the settings files only: besides the standard library it includes Qt
Core headers and nothing of the widgets; send/ (the local socket and the file
managers' menus) sits at the bottom too and sees Qt Core and Qt Network only.
engine/, history/ and verdict/ are plain C++ and POSIX (history/ also SQLite): no Qt
header, no windowing header. No product folder includes tests/ or bench/.
The benchmarks include nothing of tests/ either: what they share with the tests
(the desktop, the program under test, the drag source) is harness/.

All product folders are linked into one program, so no two of their files may
define a class, struct or enum of the same qualified name (two definitions break
the one-definition rule, silently). A type in an unnamed namespace is its file's
own, yet it still may not take the qualified name of a type the rest of the
product shares: it would shadow that type in its file.

Usage: check_includes.py ROOT [QTCORE_INCLUDE_DIR]
       check_includes.py --self-test
Prints every offending line as file:line: text and exits 1 when there is one.
"""
import os
import re
import sys
import tempfile

RANK = {"app": 5, "find": 4, "help": 3, "drop": 3, "operation": 2, "board": 1, "dock": 1, "platform": 0, "store": 0, "engine": 0,
        "send": 0, "verdict": 0,
        "history": 1}
SOURCE_SUFFIXES = (".cpp", ".h")
OURS = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')
ANGLE = re.compile(r"^\s*#\s*include\s*<([^>]+)>")
DEFAULT_QTCORE = "/usr/include/x86_64-linux-gnu/qt6/QtCore"
# Windowing and desktop libraries engine/ must not see.
GUI_PREFIXES = ("X11/", "xcb/", "gtk", "gdk", "glib", "gio/", "wayland")


def is_qt_header(name):
    return name.startswith("Qt") or re.match(r"^Q[A-Z]", name) is not None


def is_qt_core(name, qtcore):
    if name.startswith("QtCore/"):
        return True
    if name.startswith("Qt"):
        return False  # QtGui/..., QtWidgets/...
    return os.path.exists(os.path.join(qtcore, name))


def is_qt_network(name, qtcore):
    if name.startswith("QtNetwork/"):
        return True
    return not name.startswith("Qt") and os.path.exists(
        os.path.join(os.path.dirname(qtcore), "QtNetwork", name))


def check_line(folder, text, qtcore):
    """Why `text`, an include line of a file in `folder`, breaks the layering, or None."""
    m = OURS.match(text)
    if m:
        target = m.group(1)
        if target in ("tests", "bench"):
            return "product code includes " + target + "/"
        if target == "harness":  # the desktop of the tests and benchmarks only
            return "product code includes harness/"
        if folder == "operation" and target in ("board", "dock", "store"):
            return "operation/ includes " + target + "/: an operation knows no board"
        if target in RANK and target != folder and RANK[target] >= RANK[folder]:
            return folder + "/ includes " + target + "/, which is not below it"
        return None
    m = ANGLE.match(text)
    if m and folder == "store" and is_qt_header(m.group(1)) and not is_qt_core(m.group(1), qtcore):
        return "store/ includes a header outside Qt Core"
    if (m and folder == "send" and is_qt_header(m.group(1)) and not is_qt_core(m.group(1), qtcore)
            and not is_qt_network(m.group(1), qtcore)):
        return "send/ includes a header outside Qt Core and Qt Network"
    gui = m and (is_qt_header(m.group(1)) or m.group(1).startswith(GUI_PREFIXES))
    if gui and folder in ("engine", "history", "verdict"):
        return folder + "/ includes a Qt or windowing header; it is plain C++ and POSIX"
    return None


def check_bench_line(text):
    """Why `text`, an include line of a benchmark, reaches into the tests, or None."""
    m = OURS.match(text)
    if m and m.group(1) == "tests":
        return "bench/ includes tests/: what both use belongs in harness/"
    return None


def source_files(root, folder):
    """(relative path, text) of every C++ source file below `folder`, in a fixed order."""
    for dirpath, dirnames, files in os.walk(os.path.join(root, folder)):
        dirnames.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    yield os.path.relpath(path, root), f.read()


def product_files(root):
    """(folder, relative path, text) of every product source file, in a fixed order."""
    for folder in sorted(RANK):
        for rel, text in source_files(root, folder):
            yield folder, rel, text


def blank_code(text):
    """`text` with comments, string and character literals and preprocessor lines
    turned into spaces; line breaks stay, so offsets still give line numbers."""
    out = list(text)
    i, n = 0, len(text)

    def blank(a, b):
        for k in range(a, min(b, n)):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
        elif c == '"' and re.search(r"(?:^|\W)(?:u8|[uUL])?R$", text[max(0, i - 4) : i]):
            delim = text[i + 1 : text.find("(", i)]
            end = text.find(")" + delim + '"', i)
            end = n if end < 0 else end + len(delim) + 2
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isdigit())):
            end = i + 1
            while end < n and text[end] != c and text[end] != "\n":
                end += 2 if text[end] == "\\" else 1
            end += 1
        elif c == "#" and text[text.rfind("\n", 0, i) + 1 : i].strip() == "":
            end = i
            while True:  # a directive runs on over escaped line breaks
                end = text.find("\n", end)
                if end < 0 or text[end - 1] != "\\":
                    break
                end += 1
            end = n if end < 0 else end
        else:
            i += 1
            continue
        blank(i, end)
        i = end
    return "".join(out)


NAMESPACE_HEAD = re.compile(r"\bnamespace\s*([\w:]*)\s*$")
TYPE_HEAD = re.compile(
    r"\b(class|struct|union|enum(?:\s+class|\s+struct)?)\s+(\w+(?:::\w+)*)\s*(?:final\b\s*)?"
    r"(?::(?!:)[^;{}]*)?$"
)


def type_definitions(rel, text):
    """(qualified name, file-local, line) of each class, struct, union and enum defined
    at namespace or class scope; types in function bodies and declarations are left out."""
    code = blank_code(text)
    scopes = []  # ("ns", [names]), ("type", name) or ("block",)
    found = []
    start = 0
    for m in re.finditer(r"[{};]", code):
        head = code[start : m.start()]
        start = m.end()
        if m.group() == ";":
            continue
        if m.group() == "}":
            if scopes:
                scopes.pop()
            continue
        ns = NAMESPACE_HEAD.search(head)
        t = None if ns else TYPE_HEAD.search(head)
        if ns:
            scopes.append(("ns", [p for p in ns.group(1).split("::") if p]))
        elif t and all(s[0] != "block" for s in scopes):
            names = []
            for s in scopes:
                names += s[1] if s[0] == "ns" else [s[1]]
            local = any(s[0] == "ns" and not s[1] for s in scopes)
            line = code.count("\n", 0, m.start() - len(head) + t.start()) + 1
            found.append(("::".join(names + [t.group(2)]), local, line))
            scopes.append(("type", t.group(2)))
        else:
            scopes.append(("block",))
    return found


def check_names(root):
    """Every type defined twice under one qualified name: each definition after the
    first, and each file-local type that takes a shared type's name."""
    shared, local, lines = {}, [], {}
    for _, rel, text in product_files(root):
        lines[rel] = text.splitlines()
        for name, is_local, line in type_definitions(rel, text):
            if is_local:
                local.append((name, rel, line))
            else:
                shared.setdefault(name, []).append((rel, line))
    problems = []

    def report(rel, line, why):
        problems.append(f"{rel}:{line}: {lines[rel][line - 1].strip()}    ({why})")

    for name, sites in shared.items():
        first = sites[0]
        for rel, line in sites[1:]:
            if rel != first[0]:
                report(rel, line, f"{name} is also defined at {first[0]}:{first[1]}")
    for name, rel, line in local:
        if name in shared:
            first = shared[name][0]
            report(rel, line, f"this file's own {name} shadows the one at {first[0]}:{first[1]}")
    return problems


def check_tree(root, qtcore):
    problems = []
    for folder, rel, text in product_files(root):
        for number, line in enumerate(text.splitlines(), 1):
            why = check_line(folder, line, qtcore)
            if why:
                problems.append(f"{rel}:{number}: {line.strip()}    ({why})")
    for rel, text in source_files(root, "bench"):
        for number, line in enumerate(text.splitlines(), 1):
            why = check_bench_line(line)
            if why:
                problems.append(f"{rel}:{number}: {line.strip()}    ({why})")
    return problems + check_names(root)


def self_test(qtcore):
    """The checker must find each kind of fault, and accept a clean tree."""
    cases = [
        ("store/a.cpp", '#include "app/Unit1.h"', True),
        ("store/a.cpp", '#include "platform/Opener.h"', True),
        ("platform/a.cpp", '#include "store/Settings.h"', True),
        ("board/a.cpp", '#include "drop/DropHandler.h"', True),
        ("drop/a.h", '#include "tests/support/FakeOpener.h"', True),
        ("app/a.cpp", '#include "harness/Display.h"', True),
        ("bench/drop/a.cpp", '#include "tests/support/E2e.h"', True),
        ("bench/drop/a.cpp", '#include "harness/DragSource.h"', False),
        ("bench/verdict/a.cpp", '#include "app/Unit1.h"', False),
        ("store/a.cpp", "#include <QWidget>", True),
        ("store/a.cpp", "#include <QtGui/QFont>", True),
        ("store/a.cpp", "#include <QString>", False),
        ("store/a.cpp", "#include <vector>", False),
        ("send/a.cpp", "#include <QLocalServer>", False),
        ("send/a.cpp", "#include <QWidget>", True),
        ("send/a.cpp", '#include "board/Board.h"', True),
        ("app/a.cpp", '#include "send/SendServer.h"', False),
        ("board/a.cpp", "#include <QWidget>", False),
        ("app/a.cpp", '#include "store/Settings.h"', False),
        ("drop/a.cpp", '#include "board/Board.h"', False),
        ("board/a.cpp", '#include "board/Board.h"', False),
        ("engine/a.cpp", "#include <QString>", True),
        ("engine/a.h", "#include <QtCore/QObject>", True),
        ("engine/a.cpp", "#include <X11/Xlib.h>", True),
        ("engine/a.cpp", '#include "platform/Handler.h"', True),
        ("engine/a.cpp", '#include "store/Settings.h"', True),
        ("engine/a.cpp", '#include "operation/FileOperation.h"', True),
        ("platform/a.cpp", '#include "engine/Job.h"', True),
        ("engine/a.cpp", '#include "engine/Job.h"', False),
        ("engine/a.cpp", "#include <sys/stat.h>", False),
        ("engine/a.cpp", "#include <atomic>", False),
        ("drop/a.cpp", '#include "engine/Operation.h"', False),
        ("history/a.cpp", '#include "engine/Operation.h"', False),
        ("history/a.cpp", "#include <QString>", True),
        ("history/a.cpp", '#include "operation/FileOperation.h"', True),
        ("drop/a.cpp", '#include "history/Journal.h"', False),
        ("drop/a.cpp", '#include "operation/FileOperation.h"', False),
        ("operation/a.cpp", '#include "drop/DropController.h"', True),
        ("operation/a.cpp", '#include "board/Board.h"', True),
        ("find/a.cpp", '#include "drop/DropController.h"', False),
        ("find/a.cpp", '#include "app/Unit1.h"', True),
        ("drop/a.cpp", '#include "find/FindBox.h"', True),
        ("app/a.cpp", '#include "find/FindBox.h"', False),
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
    return failures + self_test_names(qtcore)


# Trees of a few files each, and where the one-name rule must report (or None).
NAME_CASES = [
    # A controller and an interface both called qb::Board.
    ({"board/B.h": "namespace qb {\nclass Board {\n};\n}",
      "app/T.h": "namespace qb {\n\nclass Board {\npublic:\n    virtual ~Board();\n};\n}"},
     "board/B.h:2:"),
    # A file's own type under a shared enum's name, and the same without a clash.
    ({"board/C.h": "namespace qb {\nenum class Choice { A, B };\n}",
      "drop/D.cpp": "namespace qb {\nnamespace {\nstruct Choice {\n    int a;\n};\n}\n}"},
     "drop/D.cpp:3:"),
    ({"board/C.h": "namespace qb {\nenum class Choice { A, B };\n}",
      "drop/D.cpp": "namespace qb {\nnamespace {\nstruct AnswerButton {\n};\n}\n}"},
     None),
    # Nested namespaces spelt either way; a final class with a base.
    ({"engine/F.h": "namespace qb::engine {\nstruct Fd final {\n};\n}",
      "drop/G.h": "namespace qb {\nnamespace engine {\nclass Fd : public Base<int, 2> {\n};\n}\n}"},
     "engine/F.h:2:"),
    ({"drop/P.cpp": "namespace qb {\ntemplate <typename T> class Pending {\n};\n}",
      "board/P.h": "namespace qb {\ntemplate <typename T>\nclass Pending {};\n}"},
     "drop/P.cpp:2:"),
    # Declarations, other namespaces, nested and function-local types, two files'
    # own types, comments and strings are no clash.
    ({"board/B.h": "namespace qb {\nclass Board {\n};\n}",
      "app/T.h": "namespace qb {\nclass Board;\nclass Tray {\n    Board& b_;\n};\n}"},
     None),
    ({"engine/J.h": "namespace qb::engine {\nclass Job {\n    struct Folder {};\n};\n}",
      "drop/J.h": "namespace qb {\nclass Job {\n};\nstruct Folder {\n};\n}"},
     None),
    ({"board/B.h": "namespace qb {\nclass Board {\n};\n}",
      "drop/D.cpp": "namespace qb {\nvoid f() {\n    struct Board {\n    } b;\n}\n}",
      "app/A.cpp": "namespace {\nstruct Local {};\n}",
      "help/H.cpp": "namespace {\nstruct Local {};\n}"},
     None),
    ({"board/B.h": "namespace qb {\nclass Board {\n};\n}",
      "app/T.cpp": "namespace qb {\n// class Board {\nconst char* s = \"class Board {\";\n"
                   "/* struct Board {\n*/ char c = '{';\n}"},
     None),
]


def self_test_names(qtcore):
    """The one-name rule must report the second definition, and only where there is one."""
    failures = 0
    for files, where in NAME_CASES:
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text + "\n")
            found = check_tree(root, qtcore)
            right = len(found) == 1 and found[0].startswith(where) if where else not found
            if not right:
                failures += 1
                print(f"self-test: {sorted(files)} should report {where}: {found}")
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
