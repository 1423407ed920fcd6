#!/usr/bin/env python3
"""Every text the program shows has its English.

Runs lupdate over every product source against a copy of the tracked .ts (the
tracked file is never written) and fails, naming them, on texts that the .ts
lacks or leaves unfinished or empty, and on translations whose %N placeholders
differ from their source's (an .arg() would fill the wrong place or none).

usage: check_translations.py LUPDATE SOURCE_ROOT TS_FILE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

# Top-level folders that are not the program.
NOT_PRODUCT = {"tests", "bench", "harness", "scripts"}
PLACEHOLDER = re.compile(r"%(\d+)")


def product_sources(root):
    """The .cpp files of every product folder (one with a CMakeLists.txt), sorted.

    A build tree inside the source tree has no CMakeLists.txt at its top, so its
    generated sources are never read.
    """
    sources = []
    for name in sorted(os.listdir(root)):
        folder = os.path.join(root, name)
        if name.startswith(".") or name in NOT_PRODUCT:
            continue
        if not os.path.isfile(os.path.join(folder, "CMakeLists.txt")):
            continue
        for dirpath, dirnames, filenames in os.walk(folder):
            dirnames.sort()
            sources += [os.path.join(dirpath, f) for f in sorted(filenames) if f.endswith(".cpp")]
    return sources


def problems(ts_path):
    found = []
    for context in ET.parse(ts_path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source") or ""
            translation = message.find("translation")
            kind = translation.get("type") if translation is not None else None
            where = f"{name}: {source!r}"
            if kind in ("obsolete", "vanished"):
                continue
            # A plural has one text per form, each of which must stand.
            if message.get("numerus") == "yes" and translation is not None:
                texts = [f.text for f in translation.iter("numerusform")]
            else:
                texts = [translation.text if translation is not None else None]
            if kind == "unfinished" or not all(texts):
                found.append(f"no English for {where}")
                continue
            wanted = set(PLACEHOLDER.findall(source))
            for text in texts:
                if set(PLACEHOLDER.findall(text)) != wanted:
                    found.append(f"placeholders differ in {where} -> {text!r}")
    return found


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    lupdate, root, ts = argv[1:]
    sources = product_sources(root)
    if not sources:
        sys.exit(f"no product sources found under {root}")
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, os.path.basename(ts))
        shutil.copyfile(ts, copy)
        listfile = os.path.join(tmp, "sources.lst")
        with open(listfile, "w", encoding="utf-8") as f:
            f.write("\n".join(sources) + "\n")
        # The headers are found from the source root, as the sources include
        # them: without them the contexts lose their namespace.
        run = subprocess.run(
            [lupdate, "-silent", "-locations", "none", "-no-obsolete", "-I", root,
             "@" + listfile, "-ts", copy],
            capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
        # A warning (a class it cannot place) files texts under a context that the
        # program never asks for: as bad as a missing text.
        if run.returncode != 0 or run.stderr.strip():
            sys.stdout.write(run.stdout + run.stderr)
            sys.exit(f"lupdate failed or warned on {len(sources)} sources")
        found = problems(copy)
    for p in found:
        print(p)
    if found:
        print(f"{len(found)} texts need English in {ts}: build the update_translations "
              "target, then translate them")
        return 1
    print(f"every text of {len(sources)} sources has its English")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
